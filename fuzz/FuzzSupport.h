#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the fuzz targets share. A target runs on one thread, the process's main one; the folder
// and the application made here live until the process ends.
namespace fuzz {

// Ends the run with a finding: libFuzzer keeps the input that broke the invariant.
[[noreturn]] void fail(const char* invariant, const QString& detail = QString());

// Makes the QCoreApplication that Qt's text codecs, timers and signals expect, once.
void ensure_application();

// An empty folder of this process, removed when it ends.
QString work_folder();

// The code under test writes diagnostic lines to standard output; thousands of runs a second
// would drown libFuzzer's own report in them.
void quiet_standard_output();

// The text with its control characters and surrogate halves spelled out, for a finding's report.
QString spelled_out(const QString& text);

// The input as bytes.
std::string bytes_of(const std::uint8_t* data, std::size_t size);

// The input split at its line ends; an input without one is a single line.
std::vector<std::string> lines_of(const std::uint8_t* data, std::size_t size);

} // namespace fuzz
