#pragma once

#include <string>

// Names of the files the capture writes: "<prefix>_<local date>_<local
// time>" and, where two would meet, a number.
namespace capturefiles {

// "orunapp_2024-05-01_14-03-27", from the local time now; with
// `milliseconds` "orunapp_2024-05-01_14-03-27-481".
std::string timeStem(const std::string& prefix, bool milliseconds = false);

// Creates `folder` (with its parents) when it is missing and a new, empty
// file "<stem>.<ext>" in it; when that exists, "<stem>_2.<ext>",
// "<stem>_3.<ext>" and so on. The file is created only if it did not exist,
// so two writers never share one. True with the full path (UTF-8) in `path`;
// false with the reason in `error` and the system's error number (or 0) in
// `errorNumber`.
bool createUniqueFile(const std::string& folder, const std::string& stem, const std::string& ext,
                      std::string* path, std::string* error, int* errorNumber = nullptr);

// Whether files can be made in `folder` (created when it is missing): a file
// is made there and removed. False with the reason as for createUniqueFile.
bool checkFolder(const std::string& folder, std::string* error, int* errorNumber = nullptr);

} // namespace capturefiles
