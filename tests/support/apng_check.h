#pragma once
// Kept for the three export tests until they move to apng_reader.h
#include "png_file.h"
