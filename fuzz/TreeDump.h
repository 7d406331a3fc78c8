// The canonical text (see ReferenceDecoder.h) of a tree decoded by the program, and
// the check that stops a fuzz run with a readable report.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BDecode.h"
#include "ReferenceDecoder.h"

inline void Dump(const TObject& Object, std::string& Out)
{
    if (auto* Scalar = dynamic_cast<const TIntString*>(&Object)) {
        if (Scalar->IsInteger)
            Out += 'i' + std::to_string(Scalar->IntegerValue) + 'e';
        else
            Out += 's' + std::to_string(Scalar->StringValue.size()) + ':' + Scalar->StringValue;
    } else if (auto* List = dynamic_cast<const TObjectList*>(&Object)) {
        Out += 'l';
        for (size_t I = 0; I < List->Count(); ++I) Dump(*(*List)[I], Out);
        Out += 'e';
    } else if (auto* Dictionary = dynamic_cast<const TObjectHash*>(&Object)) {
        Out += 'd';
        for (const std::string& Key : Dictionary->Keys()) {
            if (reference::IsExtentKey(Key)) continue;
            Out += std::to_string(Key.size()) + ':' + Key;
            Dump(*Dictionary->Items(Key), Out);
        }
        Out += 'e';
    } else {
        Out += '?';
    }
}

#define FUZZ_CHECK(Condition, ...)                                         \
    do {                                                                   \
        if (!(Condition)) {                                                \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s\n  ", #Condition); \
            std::fprintf(stderr, __VA_ARGS__);                             \
            std::fprintf(stderr, "\n");                                    \
            std::abort();                                                  \
        }                                                                  \
    } while (false)
