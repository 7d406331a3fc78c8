#include "Exceptions.h"

namespace {
std::string FormatAssertion(const std::string& Text, const char* SourcePath, int Line)
{
    return Text + " (" + SourcePath + ", line " + std::to_string(Line) + ")";
}
}  // namespace

EAssertionFailed::EAssertionFailed(const std::string& Text, const char* SourcePath, int Line)
    : Exception(FormatAssertion(Text, SourcePath, Line))
{
}
