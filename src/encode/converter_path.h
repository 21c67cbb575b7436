#pragma once
// Which conversion loop FrameConverter::convert runs. Every path yields the
// same words as the plain one, bit for bit; the faster ones exist only where
// the CPU has the instructions.
namespace vorlane {

enum class ConverterPath {
    Plain,  // portable C++, the reference
    Sse2,   // x86-64 baseline
    Avx2,   // AVX2 with F16C
};

// The fastest path this CPU runs; CPUID is read on first use and the answer kept.
ConverterPath best_converter_path();

// The path convert() takes now: the best one, unless tests have capped it.
ConverterPath active_converter_path();

// For tests: behave as if the CPU lacked every feature above `ceiling`, so
// that each path can be run on one machine. The product never calls it.
void set_converter_override(ConverterPath ceiling);
void clear_converter_override();

}  // namespace vorlane
