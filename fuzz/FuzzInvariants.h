#pragma once

#include <QString>

#include <string>

// Checks shared by the task-file fuzz targets: a broken invariant prints what broke and traps,
// which libFuzzer reports as a finding with the input that caused it.
namespace FuzzInvariants {

// No refused value may make a message longer than this (in local 8-bit bytes).
constexpr size_t LongestMessage = 512;

void require(bool holds, const char* invariant, const QString& context);

// A refused line's message: the exact "[行#N导入失败] " prefix, a reason, a bounded length and no
// raw control byte (each message is one line of the detail text).
void checkRefusal(int lineNumber, const std::string& message, const QString& context);

} // namespace FuzzInvariants
