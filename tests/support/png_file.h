#pragma once
// Kept for the three export tests until they move to apng_reader.h
// (tests/unit/output_job_test.cpp, tests/robustness/bad_request_test.cpp,
// tests/windows/export_test.cpp): the old names they still use. The rest of
// it is apng_check.h, the three marked lines in Chunks and test_support.h's
// include of this file.
#include <fstream>  // output_job_test.cpp had it from here

#include "apng_reader.h"

namespace vorlane::test {

struct ChunkWalk { std::vector<Chunk> chunks; bool complete = true; };

inline ChunkWalk walk_chunks(const Bytes& bytes, std::size_t start) {
    Chunks read = read_chunks(bytes, start);
    return {std::move(read.list), read.error.empty()};
}

inline bool is_trailer_only(const Bytes& file) { return file == trailer_bytes(); }

}  // namespace vorlane::test

namespace vorlane::check {
using namespace test;
}  // namespace vorlane::check
