// SPDX-License-Identifier: MIT
// What only the host's own target shows: the 32-bit Windows DLL as a 32-bit
// host sees it. Records through 4-byte pointers, the export table read by the
// loader, the C calling convention of every entry, a stack aligned only to
// 4 bytes (as hosts built with other compilers call us), and an engine block
// that ends where the host's memory ends.
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/LibraryFixture.h"

static_assert(sizeof(void*) == 4, "this suite checks the 32-bit host target");

// Calls the cdecl function `fn` with `count` 32-bit arguments on a stack that
// is `misalign` bytes off 16-byte alignment at the call, stores its 32-bit
// result in *result and returns the number of bytes the callee popped: 0 for
// cdecl, the argument bytes for stdcall.
extern "C" uint32_t quorveilCrossCall(const void* fn, const uint32_t* args, uint32_t count,
                                      uint32_t misalign, uint32_t* result);
asm(R"(
    .text
    .globl _quorveilCrossCall
_quorveilCrossCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    andl $-16, %esp
    movl %ecx, %eax
    shll $2, %eax
    negl %eax
    addl 20(%ebp), %eax
    andl $15, %eax
    subl %eax, %esp
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl %esp, %ebx
    call *8(%ebp)
    movl 24(%ebp), %ecx
    movl %eax, (%ecx)
    movl %esp, %eax
    subl %ebx, %eax
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace quorveil::testing {
namespace {

using namespace plogue::biduleSDK;

constexpr std::array<const char*, 4> kExportNames{"deleteInstance", "fillBiduleInfo",
                                                  "getNumBidules", "newInstance"};
constexpr std::array<uint32_t, 4> kMisalignments{0, 4, 8, 12};

uint32_t word(const void* base, std::size_t offset) {
    uint32_t value;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

uint32_t bits(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

template <class Fn>
const void* address(Fn fn) {
    const void* raw;
    static_assert(sizeof raw == sizeof fn);
    std::memcpy(&raw, &fn, sizeof raw);
    return raw;
}

HMODULE libraryModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<const char*>(address(library().getNumBidules)), &module);
    return module;
}

// True when `address` is executable code inside the loaded DLL's image.
bool isLibraryCode(uint32_t address) {
    HMODULE inModule = nullptr;
    const auto* pointer = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            pointer, &inModule) ||
        inModule != libraryModule()) {
        return false;
    }
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(pointer, &region, sizeof region);
    return (region.Protect & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                              PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Every module the library can create, by unique id.
std::vector<std::string> creatableModules() {
    std::vector<std::string> ids;
    HostRecord record{nullptr};
    for (const host::ModuleRow& row : library().modules()) {
        if (PluginBlock* block = library().newInstance(row.uniqueId.c_str(), &record)) {
            ids.push_back(row.uniqueId);
            library().deleteInstance(block);
        }
    }
    return ids;
}

struct Offset {
    const char* field;
    std::size_t actual;
    std::size_t expected;
};

TEST(HostAbi, RecordLayoutsMatchTheHostsOnThisTarget) {
    const Offset offsets[] = {
        {"sizeof PluginBlock", sizeof(PluginBlock), 20},
        {"PluginBlock.version", offsetof(PluginBlock, version), 0},
        {"PluginBlock.dispatch", offsetof(PluginBlock, dispatch), 4},
        {"PluginBlock.process", offsetof(PluginBlock, process), 8},
        {"PluginBlock.object", offsetof(PluginBlock, object), 12},
        {"PluginBlock.host", offsetof(PluginBlock, host), 16},
        {"sizeof HostRecord", sizeof(HostRecord), 4},
        {"sizeof EngineInfo", sizeof(EngineInfo), 88},
        {"EngineInfo.sampleRate", offsetof(EngineInfo, sampleRate), 0},
        {"EngineInfo.auxInt1", offsetof(EngineInfo, auxInt1), 8},
        {"EngineInfo.auxReal1", offsetof(EngineInfo, auxReal1), 16},
        {"EngineInfo.blockSize", offsetof(EngineInfo, blockSize), 24},
        {"EngineInfo.auxReal2", offsetof(EngineInfo, auxReal2), 32},
        {"EngineInfo.auxReal3", offsetof(EngineInfo, auxReal3), 40},
        {"EngineInfo.auxReal4", offsetof(EngineInfo, auxReal4), 48},
        {"EngineInfo.auxInt2", offsetof(EngineInfo, auxInt2), 56},
        {"EngineInfo.fftSize", offsetof(EngineInfo, fftSize), 60},
        {"EngineInfo.binCount", offsetof(EngineInfo, binCount), 64},
        {"EngineInfo.overlap", offsetof(EngineInfo, overlap), 68},
        {"EngineInfo.frameCount", offsetof(EngineInfo, frameCount), 72},
        {"EngineInfo.auxFlags", offsetof(EngineInfo, auxFlags), 76},
        {"sizeof ParameterInfo", sizeof(ParameterInfo), 1176},
        {"ParameterInfo.id", offsetof(ParameterInfo, id), 0},
        {"ParameterInfo.name", offsetof(ParameterInfo, name), 4},
        {"ParameterInfo.kind", offsetof(ParameterInfo, kind), 132},
        {"ParameterInfo.controlStyle", offsetof(ParameterInfo, controlStyle), 136},
        {"ParameterInfo.switchA", offsetof(ParameterInfo, switchA), 140},
        {"ParameterInfo.switchB", offsetof(ParameterInfo, switchB), 144},
        {"ParameterInfo.defaultValue", offsetof(ParameterInfo, defaultValue), 152},
        {"ParameterInfo.defaultInt", offsetof(ParameterInfo, integerDefault), 152},
        {"ParameterInfo.choiceCount",
         offsetof(ParameterInfo, integerDefault) + offsetof(ParameterInfo::IntegerDefault, choiceCount), 156},
        {"ParameterInfo.unit", offsetof(ParameterInfo, unit), 160},
        {"ParameterInfo.realFormat", offsetof(ParameterInfo, realFormat), 288},
        {"ParameterInfo.minimum", offsetof(ParameterInfo, minimum), 296},
        {"ParameterInfo.maximum", offsetof(ParameterInfo, maximum), 304},
        {"ParameterInfo.realOption", offsetof(ParameterInfo, realOption), 312},
        {"sizeof BiduleInfo", sizeof(BiduleInfo), 1536},
        {"BiduleInfo.name", offsetof(BiduleInfo, name), 512},
        {"BiduleInfo.categoryPath", offsetof(BiduleInfo, categoryPath), 1024},
    };
    for (const Offset& offset : offsets) {
        EXPECT_EQ(offset.actual, offset.expected) << offset.field;
    }
}

TEST(HostAbi, PluginBlockReadThroughFourBytePointers) {
    const std::vector<std::string> ids = creatableModules();
    ASSERT_FALSE(ids.empty());
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        HostRecord record{nullptr};
        PluginBlock* block = library().newInstance(id.c_str(), &record);
        ASSERT_NE(block, nullptr);

        EXPECT_EQ(static_cast<int32_t>(word(block, 0)), 1000);
        EXPECT_TRUE(isLibraryCode(word(block, 4))) << "dispatch entry";
        EXPECT_TRUE(isLibraryCode(word(block, 8))) << "process entry";
        EXPECT_NE(word(block, 4), word(block, 8));
        // The block lives inside the object it names.
        const uint32_t object = word(block, 12);
        EXPECT_NE(object, 0u);
        EXPECT_GE(bits(block), object);
        EXPECT_LT(bits(block) - object, 4096u);
        EXPECT_EQ(word(block, 16), bits(&record));

        // The dispatcher found at offset 4 answers: no module sets a flag.
        DispatchEntry dispatch;
        const uint32_t raw = word(block, 4);
        std::memcpy(&dispatch, &raw, sizeof dispatch);
        int32_t answer = -1;
        int32_t mask = 0;
        dispatch(block, static_cast<int32_t>(DispatchOp::HasFlags), &answer, &mask);
        EXPECT_EQ(answer, 1);
        library().deleteInstance(block);
    }
}

TEST(HostAbi, ExportsResolveByTheirPlainNamesOnly) {
    const HMODULE module = GetModuleHandleA("quorveil_surround.dll");
    ASSERT_NE(module, nullptr);
    for (const char* name : kExportNames) {
        EXPECT_NE(reinterpret_cast<void*>(GetProcAddress(module, name)), nullptr) << name;
    }
    for (const char* decorated : {"_getNumBidules", "getNumBidules@0", "_fillBiduleInfo@8",
                                  "_newInstance@8", "deleteInstance@4", "_Z13getNumBidulesv"}) {
        EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, decorated)), nullptr) << decorated;
    }

    // The loaded image itself: PE32 for i386, and exactly four names exported.
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    ASSERT_EQ(exports->NumberOfNames, kExportNames.size());
    ASSERT_EQ(exports->NumberOfFunctions, kExportNames.size());
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (std::size_t i = 0; i < kExportNames.size(); ++i) {
        EXPECT_STREQ(reinterpret_cast<const char*>(base + names[i]), kExportNames[i]);
    }
}

// The release is where Windows and installers look for it: the DLL's
// version resource, read as Explorer reads it (version.dll), with the
// numbers of the build's project version.
TEST(HostAbi, VersionResourceCarriesTheReleaseAndTheVendor) {
    const char* dll = "quorveil_surround.dll";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(dll, &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(dll, 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(QUORVEIL_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const struct {
        const char* key;
        std::string value;
    } strings[] = {{"CompanyName", "quorveil.audio"},
                   {"ProductName", "Quorveil Surround"},
                   {"FileVersion", QUORVEIL_VERSION},
                   {"ProductVersion", QUORVEIL_VERSION},
                   {"OriginalFilename", "quorveil_surround.dll"}};
    for (const auto& entry : strings) {
        char* value = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + entry.key;
        ASSERT_TRUE(VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value),
                                   &length))
            << entry.key;
        EXPECT_EQ(std::string(value), entry.value) << entry.key;
    }
}

// The host calls every entry with the C calling convention and whatever
// stack alignment its own compiler keeps (4 bytes is all that is promised).
TEST(HostAbi, EveryEntryIsCdeclAndToleratesA4ByteAlignedStack) {
    HostRecord record{nullptr};
    for (uint32_t misalign : kMisalignments) {
        SCOPED_TRACE(misalign);
        uint32_t result = 0;
        EXPECT_EQ(quorveilCrossCall(address(library().getNumBidules), nullptr, 0, misalign, &result), 0u);
        EXPECT_EQ(result, 6u);

        BiduleInfo info{};
        const uint32_t fillArgs[] = {0, bits(&info)};
        EXPECT_EQ(quorveilCrossCall(address(library().fillBiduleInfo), fillArgs, 2, misalign, &result), 0u);
        EXPECT_EQ(result, 0u);
        EXPECT_STREQ(info.name, "Clip4_6");

        for (const std::string& id : creatableModules()) {
            SCOPED_TRACE(id);
            const uint32_t newArgs[] = {bits(id.c_str()), bits(&record)};
            EXPECT_EQ(quorveilCrossCall(address(library().newInstance), newArgs, 2, misalign, &result), 0u);
            auto* block = reinterpret_cast<PluginBlock*>(static_cast<uintptr_t>(result));
            ASSERT_NE(block, nullptr);

            const EngineInfo engine = host::makeEngineInfo(44100, 64, 2048, 4, 2);
            int32_t count = 0;
            const uint32_t setUp[] = {bits(block), static_cast<uint32_t>(DispatchOp::SetEngineInfo),
                                      bits(&engine), 0};
            EXPECT_EQ(quorveilCrossCall(address(block->dispatch), setUp, 4, misalign, &result), 0u);
            const uint32_t countOp[] = {bits(block), static_cast<uint32_t>(DispatchOp::DescribeParameters),
                                        0, bits(&count)};
            EXPECT_EQ(quorveilCrossCall(address(block->dispatch), countOp, 4, misalign, &result), 0u);
            EXPECT_GT(count, 0);

            // One block through the process entry, host buffers as the host makes them.
            int32_t counts[8] = {};
            for (int32_t op = 2; op <= 9; ++op) {
                block->dispatch(block, op, nullptr, &counts[op - 2]);
            }
            host::PinCounts pins{counts[0], counts[1], counts[2], counts[3],
                                 counts[4], counts[5], counts[6], counts[7]};
            host::ProcessBuffers buffers(pins, engine);
            buffers.audioIn.fill(0.25f);
            buffers.magnitudeIn.fill(0.25f);
            buffers.frequencyIn.fill(440.0f);
            const uint32_t processArgs[] = {bits(block),
                                            bits(buffers.audioIn.table()),
                                            bits(buffers.audioOut.table()),
                                            0,
                                            0,
                                            bits(buffers.frequencyIn.table()),
                                            bits(buffers.frequencyOut.table()),
                                            bits(buffers.magnitudeIn.table()),
                                            bits(buffers.magnitudeOut.table()),
                                            0,
                                            0};
            EXPECT_EQ(quorveilCrossCall(address(block->process), processArgs, 11, misalign, &result), 0u);

            const uint32_t deleteArgs[] = {bits(block)};
            EXPECT_EQ(quorveilCrossCall(address(library().deleteInstance), deleteArgs, 1, misalign, &result), 0u);
        }
    }
}

// A host's engine block may end right where its memory does: the library
// reads bytes 0 to 80 of it and not one more.
TEST(HostAbi, EngineSettingsEndingAtAnInaccessiblePage) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    auto* pages = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &previous));
    unsigned char* hostBlock = pages + page - kEngineInfoBytesRead;
    const EngineInfo engine = host::makeEngineInfo(44100, 4, 1024, 4, 1);
    std::memcpy(hostBlock, &engine, kEngineInfoBytesRead);

    for (const std::string& id : creatableModules()) {
        SCOPED_TRACE(id);
        host::HostedInstance instance(library(), id);
        instance.dispatch(DispatchOp::SetEngineInfo, hostBlock, nullptr);
        if (id == "audio.quorveil.Clip4_6") {
            host::ProcessBuffers buffers(instance.pinCounts(), engine);
            instance.process(buffers);
            EXPECT_EQ(buffers.audioOut.pin(6)[3], 768.0f);
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace quorveil::testing
