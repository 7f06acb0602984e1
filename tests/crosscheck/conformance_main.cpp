// SPDX-License-Identifier: MIT
// quorveil-conformance: the cross-check between the native library and the
// 32-bit Windows DLL.
//
//   quorveil-conformance run OUTPUT [LIBRARY]
//       drives every module the library can create through a fixed battery
//       and writes every output value and host service call to OUTPUT
//       (LIBRARY defaults to the library beside this program)
//   quorveil-conformance compare EXPECTED ACTUAL
//       compares two such records: bit for bit, except that a value may
//       differ by one unit in the last place; prints the counts and fails on
//       anything more
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(_WIN32)
#include <float.h>
#endif

#include "tests/crosscheck/Conformance.h"
#include "host/hosting/PluginLibrary.h"

using namespace quorveil::host;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: quorveil-conformance run OUTPUT [LIBRARY]\n"
                 "       quorveil-conformance compare EXPECTED ACTUAL\n");
    return 2;
}

int run(const std::string& output, const std::string& libraryPath) {
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
    // Hosts built with Microsoft's compiler run with the x87 unit at 53-bit
    // precision; the library's own arithmetic is SSE, but the runtime's
    // sine, cosine and arctangent use the x87 unit, so run them as a host does.
    _controlfp(_PC_53, _MCW_PC);
#endif
    PluginLibrary library(libraryPath);
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::fprintf(stderr, "quorveil-conformance: cannot write '%s'\n", output.c_str());
        return 1;
    }
    runBattery(library, out);
    out.close();
    if (!out) {
        std::fprintf(stderr, "quorveil-conformance: writing '%s' failed\n", output.c_str());
        return 1;
    }
    return 0;
}

int compare(const std::string& expectedPath, const std::string& actualPath) {
    std::ifstream expected(expectedPath, std::ios::binary);
    std::ifstream actual(actualPath, std::ios::binary);
    if (!expected || !actual) {
        std::fprintf(stderr, "quorveil-conformance: cannot read '%s'\n",
                     (!expected ? expectedPath : actualPath).c_str());
        return 1;
    }
    const Comparison result = compareRecords(expected, actual);
    std::printf("cross-check: %llu values, %llu differ (%llu by more than 1 ulp), "
                "%llu other differences\n",
                static_cast<unsigned long long>(result.values),
                static_cast<unsigned long long>(result.differing),
                static_cast<unsigned long long>(result.beyondOneUlp),
                static_cast<unsigned long long>(result.structural));
    for (const std::string& example : result.examples) {
        std::printf("  %s\n", example.c_str());
    }
    return result.passed() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "run" && (argc == 3 || argc == 4)) {
            const std::string library =
                argc == 4 ? argv[3]
                          : (std::filesystem::absolute(argv[0]).parent_path() / defaultLibraryFileName())
                                .string();
            return run(argv[2], library);
        }
        if (command == "compare" && argc == 4) {
            return compare(argv[2], argv[3]);
        }
        return usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-conformance: %s\n", error.what());
        return 1;
    }
}
