// Both builds of telvarid.dll read as files, without Wine, on every machine: the
// machine type, the export table a setup program resolves names and ordinals through,
// and the import table that must name the system's own DLLs only. And every binary the
// release ships, for the ASLR and DEP that a security review looks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "pe_image.h"

namespace {

struct Build {
    const char *pszName;
    const char *pszPath;
    const char *pszPathVariable; // an environment variable that names another file to read
    uint16_t wMachine; // IMAGE_FILE_MACHINE_I386 or IMAGE_FILE_MACHINE_AMD64
    uint16_t wMagic;   // PE32 or PE32+
    bool bUnwindData;  // x86-64: Windows walks stacks through .pdata and .xdata
};

// The built file, or the one its variable names: the release checks read the binaries
// of a signed archive with the same tests.
std::string PathOf(const char *pszPath, const char *pszPathVariable)
{
    const char *pszOther = std::getenv(pszPathVariable);
    return pszOther != nullptr && *pszOther != '\0' ? pszOther : pszPath;
}

std::string PathOf(const Build &build)
{
    return PathOf(build.pszPath, build.pszPathVariable);
}

// Names the build in the test's name and in messages, not its bytes.
void PrintTo(const Build &build, std::ostream *pos)
{
    *pos << build.pszName;
}

const Build kBuilds[] = {
    {"PE32", TVR_DLL32_PATH, "TVR_PE_DLL32", 0x014C, 0x10B, false},
    {"PE32plus", TVR_DLL64_PATH, "TVR_PE_DLL64", 0x8664, 0x20B, true},
};

struct ExpectedImports {
    const char *pszDll;
    std::vector<std::string> functions; // sorted
};

// Exactly the functions the library's own code calls, per DLL, and nothing the C
// runtime's start-up would bring (_initterm, _amsg_exit, _lock, vfprintf, TlsGetValue...).
// Both builds import the same names. A new call in the code is added here.
const ExpectedImports kImports[] = {
    {"gdi32.dll", {"CreateFontIndirectW", "DPtoLP", "DeleteObject", "GetTextMetricsW", "LPtoDP",
                   "SelectObject"}},
    {"kernel32.dll",
     {"ClearCommError", "CloseHandle", "CreateEventA", "CreateFileA", "CreateThread", "FreeLibrary", "GetCommState",
      "GetLastError", "GetProcAddress", "GetSystemDirectoryA", "GetTickCount", "LoadLibraryExA", "PurgeComm",
      "ReadFile", "SetCommState", "SetCommTimeouts", "SetEvent", "SetupComm", "WaitForMultipleObjects",
      "WaitForSingleObject", "WriteFile"}},
    {"msvcrt.dll", {"free", "malloc"}},
    {"user32.dll",
     {"AdjustWindowRectEx", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "DispatchMessageW", "DrawTextA",
      "DrawTextW", "EnableWindow", "GetClientRect", "GetDC", "GetDlgItem", "GetSystemMetrics", "GetWindowRect",
      "GetWindowTextW", "IsDialogMessageW", "IsIconic", "LoadCursorW", "LoadIconA", "MsgWaitForMultipleObjects",
      "PeekMessageW", "PostQuitMessage", "RegisterClassExW", "ReleaseDC", "SendDlgItemMessageA", "SendMessageA",
      "SendMessageW", "SetFocus", "SetWindowPos", "SetWindowTextA", "SetWindowTextW", "ShowWindow",
      "SystemParametersInfoW", "TranslateMessage", "UnregisterClassW", "wsprintfA"}},
};

// Sections that only the C runtime's start-up brings: its initializer tables (.CRT),
// thread-local storage (.tls), and the DWARF unwind tables of its objects (.eh_frame,
// which a stripped image names by the 8 characters a section header holds: ".eh_fram").
// A static constructor leaves no trace here: the linker folds .ctors and .dtors into
// .text, so a DLL whose constructor never runs looks like any other. The objects show it
// (tests/pe/check-objects.sh, static.objects.*).
const char *const kStartupSections[] = {".CRT", ".tls", ".eh_fram"};

// The most a DLL may weigh, without the certificate table a signature appends: 24 KiB,
// for telvarid.dll with all nine exports and for the NSIS plug-in alike.
const uint64_t kMaxImageBytes = 24 * 1024;

struct ExpectedExport {
    const char *pszName;
    uint32_t dwOrdinal;
};

// The interface setup programs are written against: these names, undecorated, at these
// ordinals, and nothing else. The installer's custom actions are stdcall: in the PE32
// build their names would carry "@4" unless the export table drops it, and a package's
// DllEntry names them without.
const ExpectedExport kExports[] = {
    {"TVRCheckCommParams", 1},
    {"TVRInitTextDialog", 2},
    {"TVRModemAvailable", 3},
    {"TVRScanForModem", 4},
    {"TVRFindModem", 5},
    {"TVRInitTextDialogW", 6},
    {"TVRMsiFindModem", 7},
    {"TVRMsiCheckPort", 8},
    {"TVRMsiModemAvailable", 9},
};
const size_t kExportCount = sizeof kExports / sizeof kExports[0];
const uint32_t kHighestOrdinal = 9;

// The highest ordinal: the export address table has that many entries, an unused
// ordinal below it an empty one.
uint32_t HighestOrdinal()
{
    uint32_t dwHighest = 0;
    for (const ExpectedExport &want : kExports)
        dwHighest = std::max(dwHighest, want.dwOrdinal);
    return dwHighest;
}

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return str;
}

class DllFile : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override
    {
        std::string strError = ReadPeFile(PathOf(GetParam()), &m_image);
        ASSERT_EQ("", strError);
    }
    bool HasSection(const char *pszName) const
    {
        return std::find(m_image.sectionNames.begin(), m_image.sectionNames.end(), pszName) !=
               m_image.sectionNames.end();
    }
    PeImage m_image;
};

TEST_P(DllFile, IsADllForItsMachine)
{
    EXPECT_EQ(GetParam().wMachine, m_image.wMachine);
    EXPECT_EQ(GetParam().wMagic, m_image.wMagic);
    EXPECT_NE(0, m_image.wCharacteristics & 0x2000) << "IMAGE_FILE_DLL";
}

TEST_P(DllFile, ExportsExactlyItsFunctionsByNameAndOrdinal)
{
    const size_t cExports = std::size(kExports);
    EXPECT_EQ("telvarid.dll", m_image.strModuleName);
    EXPECT_EQ(1u, m_image.dwOrdinalBase);
    EXPECT_EQ(HighestOrdinal(), m_image.dwFunctionCount);
    EXPECT_EQ(cExports, m_image.dwNameCount);
    EXPECT_TRUE(m_image.unnamedOrdinals.empty()) << "an export reachable by ordinal alone";
    ASSERT_EQ(kExportCount, m_image.exports.size());
    for (const ExpectedExport &want : kExports) {
        auto it = std::find_if(m_image.exports.begin(), m_image.exports.end(),
                               [&](const PeExport &e) { return e.strName == want.pszName; });
        ASSERT_NE(m_image.exports.end(), it) << want.pszName << " is not exported under that exact name";
        EXPECT_EQ(want.dwOrdinal, it->dwOrdinal) << want.pszName;
        EXPECT_FALSE(it->bForwarded) << want.pszName;
        EXPECT_NE(0u, it->dwRva) << want.pszName;
    }
    // As many distinct functions as names.
    std::vector<uint32_t> rvas;
    for (const PeExport &e : m_image.exports)
        rvas.push_back(e.dwRva);
    std::sort(rvas.begin(), rvas.end());
    EXPECT_EQ(rvas.end(), std::adjacent_find(rvas.begin(), rvas.end()));
}

TEST_P(DllFile, ImportsOnlyTheSystemsOwnDlls)
{
    std::vector<std::string> imports;
    for (const std::string &str : m_image.imports)
        imports.push_back(Lower(str));
    std::sort(imports.begin(), imports.end());
    const std::vector<std::string> want = {"gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"};
    EXPECT_EQ(want, imports);
    EXPECT_EQ(0u, m_image.dwDelayImportSize) << "no delay-loaded DLL either";
}

// TAPI32.DLL and msi.dll are loaded at run time, by the call that needs them: a setup
// program that never asks the telephony question or runs a custom action never loads
// them, and neither can be found beside the program instead of in the system folder.
TEST_P(DllFile, LoadsTelephonyAndTheInstallerOnlyAtRunTime)
{
    for (const std::string &str : m_image.imports) {
        EXPECT_NE("msi.dll", Lower(str));
        EXPECT_NE("tapi32.dll", Lower(str));
    }
}

TEST_P(DllFile, ImportsExactlyTheFunctionsItsCodeCalls)
{
    ASSERT_EQ(m_image.imports.size(), m_image.importedFunctions.size());
    std::vector<std::string> seen;
    for (const PeImport &imp : m_image.importedFunctions) {
        const std::string strDll = Lower(imp.strDll);
        seen.push_back(strDll);
        auto it = std::find_if(std::begin(kImports), std::end(kImports),
                               [&](const ExpectedImports &e) { return strDll == e.pszDll; });
        if (it == std::end(kImports)) {
            ADD_FAILURE() << "imports from " << imp.strDll << ", which is not one of the system DLLs it calls";
            continue;
        }
        std::vector<std::string> functions = imp.functions;
        std::sort(functions.begin(), functions.end());
        EXPECT_EQ(it->functions, functions) << "the functions imported from " << imp.strDll;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end())) << "a DLL named twice in the import table";
}

TEST_P(DllFile, NeedsNoRuntimeStartup)
{
    for (const char *pszSection : kStartupSections)
        EXPECT_FALSE(HasSection(pszSection)) << "section " << pszSection;
    EXPECT_EQ(0u, m_image.dwTlsSize) << "a thread-local storage directory";
    EXPECT_NE(0u, m_image.dwEntryPointRva);
    EXPECT_EQ(".text", m_image.strEntrySection) << "the entry point (DllMain) lies in the code";
}

TEST_P(DllFile, KeepsTheUnwindDataWindowsWalksStacksThrough)
{
    if (GetParam().bUnwindData) {
        EXPECT_TRUE(HasSection(".pdata"));
        EXPECT_TRUE(HasSection(".xdata"));
        EXPECT_NE(0u, m_image.dwExceptionSize) << "the exception directory";
    } else {
        EXPECT_FALSE(HasSection(".pdata"));
        EXPECT_EQ(0u, m_image.dwExceptionSize) << "an exception directory on x86";
    }
}

TEST_P(DllFile, WeighsAtMostTwentyFourKilobytes)
{
    std::ifstream in(PathOf(GetParam()), std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in);
    const uint64_t cbFile = static_cast<uint64_t>(in.tellg());
    ASSERT_GE(cbFile, m_image.dwSecuritySize);
    EXPECT_LE(cbFile - m_image.dwSecuritySize, kMaxImageBytes)
        << "bytes without the certificate table (" << m_image.dwSecuritySize << " bytes)";
}

TEST_P(DllFile, CarriesAVersionResource)
{
    EXPECT_TRUE(m_image.bHasVersionResource);
}

INSTANTIATE_TEST_SUITE_P(Builds, DllFile, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) { return std::string(info.param.pszName); });

// What a security review reads on every binary an installer unpacks, from the published
// PE/COFF layout.
const uint16_t kMagicPe32 = 0x10B;
const uint16_t kMagicPe32Plus = 0x20B;
const uint16_t kFileRelocsStripped = 0x0001;  // COFF: the image can load only at its base
const uint16_t kDllHighEntropyVa = 0x0020;    // PE32+: the whole 64-bit range for ASLR
const uint16_t kDllDynamicBase = 0x0040;      // ASLR may move the image
const uint16_t kDllNxCompat = 0x0100;         // DEP: data is never run
const uint32_t kSectionExecute = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
const uint32_t kSectionWrite = 0x80000000;    // IMAGE_SCN_MEM_WRITE

// Everything wrong with an image's hardening, one line each; none for a sound image.
// ASLR needs the flag and relocations to move the image by: the flag without them
// leaves the image at its preferred base.
std::vector<std::string> HardeningFaults(const PeImage &image)
{
    std::vector<std::string> faults;
    if ((image.wDllCharacteristics & kDllDynamicBase) == 0)
        faults.push_back("no DYNAMIC_BASE");
    if ((image.wDllCharacteristics & kDllNxCompat) == 0)
        faults.push_back("no NX_COMPAT");
    if (image.wMagic == kMagicPe32Plus && (image.wDllCharacteristics & kDllHighEntropyVa) == 0)
        faults.push_back("no HIGH_ENTROPY_VA");
    if ((image.wCharacteristics & kFileRelocsStripped) != 0)
        faults.push_back("relocations stripped");
    if (image.dwRelocCount == 0)
        faults.push_back("no base relocations");
    for (size_t i = 0; i < image.sectionFlags.size() && i < image.sectionNames.size(); ++i) {
        if ((image.sectionFlags[i] & kSectionWrite) != 0 && (image.sectionFlags[i] & kSectionExecute) != 0)
            faults.push_back("section " + image.sectionNames[i] + " is writable and executable");
    }
    return faults;
}

// Every binary the project ships, each checked as a security review checks it. A new
// one (a plug-in, another program) is one more line.
struct Shipped {
    const char *pszName;
    const char *pszPath;
    const char *pszPathVariable; // an environment variable that names another file to read
    uint16_t wMagic;
};

void PrintTo(const Shipped &shipped, std::ostream *pos)
{
    *pos << shipped.pszName;
}

const Shipped kShipped[] = {
    {"TelvaridPE32", TVR_DLL32_DIR "/telvarid.dll", "TVR_PE_DLL32", kMagicPe32},
    {"TelvaridPE32plus", TVR_DLL64_DIR "/telvarid.dll", "TVR_PE_DLL64", kMagicPe32Plus},
    {"TvrprobePE32", TVR_DLL32_DIR "/tvrprobe.exe", "TVR_PE_PROBE32", kMagicPe32},
    {"TvrprobePE32plus", TVR_DLL64_DIR "/tvrprobe.exe", "TVR_PE_PROBE64", kMagicPe32Plus},
    {"TvrModemX86Ansi", TVR_DLL32_DIR "/Plugins/x86-ansi/TvrModem.dll", "TVR_PE_PLUGIN_X86_ANSI", kMagicPe32},
    {"TvrModemX86Unicode", TVR_DLL32_DIR "/Plugins/x86-unicode/TvrModem.dll", "TVR_PE_PLUGIN_X86_UNICODE",
     kMagicPe32},
    {"TvrModemAmd64Unicode", TVR_DLL64_DIR "/Plugins/amd64-unicode/TvrModem.dll", "TVR_PE_PLUGIN_AMD64_UNICODE",
     kMagicPe32Plus},
};

class ShippedFile : public ::testing::TestWithParam<Shipped> {};

TEST_P(ShippedFile, LoadsWithAslrAndDepAndNoWritableCode)
{
    PeImage image;
    ASSERT_EQ("", ReadPeFile(PathOf(GetParam().pszPath, GetParam().pszPathVariable), &image));
    EXPECT_EQ(GetParam().wMagic, image.wMagic);
    EXPECT_EQ(std::vector<std::string>(), HardeningFaults(image))
        << "DllCharacteristics 0x" << std::hex << image.wDllCharacteristics << std::dec << ", "
        << image.dwRelocCount << " base relocations";
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedFile, ::testing::ValuesIn(kShipped),
                         [](const ::testing::TestParamInfo<Shipped> &info) { return std::string(info.param.pszName); });

// The judgment itself, on the PE32+ DLL altered in memory one field at a time: each
// loss is named, and only it. Offsets from the PE/COFF layout: e_lfanew at 0x3C, the COFF
// header after the 4-byte signature, the optional header 20 bytes later.
struct Alteration {
    const char *pszName;
    uint32_t dwOffset;   // from the optional header, or from the COFF header when bCoff
    bool bCoff;
    uint32_t dwAnd;      // the 16- or 32-bit field is ANDed with this, then ORed with dwOr
    uint32_t dwOr;
    bool bWide;          // a 32-bit field
    std::vector<std::string> faults;
};

const Alteration kAlterations[] = {
    {"AsBuilt", 70, false, 0xFFFF, 0, false, {}},
    {"DynamicBaseCleared", 70, false, 0xFFBF, 0, false, {"no DYNAMIC_BASE"}},
    {"NxCompatCleared", 70, false, 0xFEFF, 0, false, {"no NX_COMPAT"}},
    {"HighEntropyVaCleared", 70, false, 0xFFDF, 0, false, {"no HIGH_ENTROPY_VA"}},
    {"EveryDllFlagCleared", 70, false, 0, 0, false, {"no DYNAMIC_BASE", "no NX_COMPAT", "no HIGH_ENTROPY_VA"}},
    // Data directory 5 of PE32+ (its directories start at 112): its size.
    {"RelocationDirectoryEmptied", 112 + 5 * 8 + 4, false, 0, 0, true, {"no base relocations"}},
    {"RelocsStrippedSet", 18, true, 0xFFFF, kFileRelocsStripped, false, {"relocations stripped"}},
};

void PrintTo(const Alteration &alteration, std::ostream *pos)
{
    *pos << alteration.pszName;
}

std::vector<uint8_t> ReadBytes(const char *pszPath)
{
    std::ifstream in(pszPath, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t At32(const std::vector<uint8_t> &bytes, uint32_t dwOffset)
{
    return static_cast<uint32_t>(bytes.at(dwOffset)) | (static_cast<uint32_t>(bytes.at(dwOffset + 1)) << 8) |
           (static_cast<uint32_t>(bytes.at(dwOffset + 2)) << 16) | (static_cast<uint32_t>(bytes.at(dwOffset + 3)) << 24);
}

void Put(std::vector<uint8_t> *pBytes, uint32_t dwOffset, uint32_t dwValue, bool bWide)
{
    for (uint32_t i = 0; i < (bWide ? 4u : 2u); ++i)
        pBytes->at(dwOffset + i) = static_cast<uint8_t>(dwValue >> (8 * i));
}

class AlteredDll : public ::testing::TestWithParam<Alteration> {};

TEST_P(AlteredDll, HasEachLossNamed)
{
    const Alteration &a = GetParam();
    std::vector<uint8_t> bytes = ReadBytes(TVR_DLL64_PATH);
    ASSERT_GT(bytes.size(), 1024u);
    const uint32_t dwCoff = At32(bytes, 0x3C) + 4;
    const uint32_t dwField = (a.bCoff ? dwCoff : dwCoff + 20) + a.dwOffset;
    const uint32_t dwOld = a.bWide ? At32(bytes, dwField) : (At32(bytes, dwField) & 0xFFFFu);
    Put(&bytes, dwField, (dwOld & a.dwAnd) | a.dwOr, a.bWide);
    PeImage image;
    ASSERT_EQ("", ReadPeImage(bytes, &image));
    EXPECT_EQ(a.faults, HardeningFaults(image));
}

INSTANTIATE_TEST_SUITE_P(Alterations, AlteredDll, ::testing::ValuesIn(kAlterations),
                         [](const ::testing::TestParamInfo<Alteration> &info) {
                             return std::string(info.param.pszName);
                         });

// Code that could be rewritten at run time: the code section made writable too.
TEST(HardeningJudgment, NamesAWritableCodeSection)
{
    std::vector<uint8_t> bytes = ReadBytes(TVR_DLL64_PATH);
    PeImage image;
    ASSERT_EQ("", ReadPeImage(bytes, &image));
    const uint32_t dwCoff = At32(bytes, 0x3C) + 4;
    const uint32_t dwSections = dwCoff + 20 + (At32(bytes, dwCoff + 16) & 0xFFFFu);
    ASSERT_EQ(".text", image.sectionNames.at(0));
    Put(&bytes, dwSections + 36, At32(bytes, dwSections + 36) | kSectionWrite, true);
    ASSERT_EQ("", ReadPeImage(bytes, &image));
    EXPECT_EQ(std::vector<std::string>{"section .text is writable and executable"}, HardeningFaults(image));
}

// Relocation blocks whose entries are all padding move nothing: a directory of such
// blocks is no relocation at all, however large.
TEST(HardeningJudgment, CountsNoPaddingAsARelocation)
{
    std::vector<uint8_t> bytes = ReadBytes(TVR_DLL64_PATH);
    PeImage image;
    ASSERT_EQ("", ReadPeImage(bytes, &image));
    ASSERT_GT(image.dwRelocCount, 0u);
    // Every entry of every block (after each 8-byte block header) becomes padding, type 0.
    const uint32_t dwCoff = At32(bytes, 0x3C) + 4;
    const uint32_t dwOptional = dwCoff + 20;
    const uint32_t dwRelocRva = At32(bytes, dwOptional + 112 + 5 * 8);
    const uint32_t cbReloc = At32(bytes, dwOptional + 112 + 5 * 8 + 4);
    const uint32_t dwSections = dwOptional + (At32(bytes, dwCoff + 16) & 0xFFFFu);
    const uint32_t wSections = At32(bytes, dwCoff + 2) & 0xFFFFu;
    uint32_t dwFileAt = 0;
    for (uint32_t i = 0; i < wSections; ++i) {
        const uint32_t h = dwSections + 40 * i;
        if (dwRelocRva >= At32(bytes, h + 12) && dwRelocRva < At32(bytes, h + 12) + At32(bytes, h + 16))
            dwFileAt = At32(bytes, h + 20) + (dwRelocRva - At32(bytes, h + 12));
    }
    ASSERT_NE(0u, dwFileAt);
    for (uint32_t dwAt = 0; dwAt < cbReloc;) {
        const uint32_t cbBlock = At32(bytes, dwFileAt + dwAt + 4);
        ASSERT_GE(cbBlock, 8u);
        for (uint32_t e = 8; e < cbBlock; e += 2)
            Put(&bytes, dwFileAt + dwAt + e, 0, false);
        dwAt += cbBlock;
    }
    ASSERT_EQ("", ReadPeImage(bytes, &image));
    EXPECT_EQ(std::vector<std::string>{"no base relocations"}, HardeningFaults(image));
}


// The NSIS plug-in TvrModem.dll in each flavour: a DLL for its machine whose export
// table names exactly the plug-in functions (NSIS finds them by name), whose imports are
// exactly what its code and NSIS's plug-in library call, with no C runtime start-up and
// a version resource.
struct Plugin {
    const char *pszName;
    const char *pszPath;
    uint16_t wMachine;
    std::vector<std::string> kernel32; // sorted
    std::vector<std::string> user32;   // sorted
};

void PrintTo(const Plugin &plugin, std::ostream *pos)
{
    *pos << plugin.pszName;
}

// What the serial, telephony and find code calls from KERNEL32, in every flavour, with
// the stack's GlobalAlloc and GlobalFree and the conversions of NSIS's plug-in library.
std::vector<std::string> PluginKernel32(std::initializer_list<const char *> flavourCalls)
{
    std::vector<std::string> calls = {
        "ClearCommError", "CloseHandle", "CreateEventA", "CreateFileA", "CreateThread", "FreeLibrary",
        "GetCommState", "GetLastError", "GetProcAddress", "GetSystemDirectoryA", "GetTickCount", "GlobalAlloc",
        "GlobalFree", "LoadLibraryExA", "MultiByteToWideChar", "PurgeComm", "ReadFile", "SetCommState",
        "SetCommTimeouts", "SetEvent", "SetupComm", "WaitForMultipleObjects", "WaitForSingleObject",
        "WideCharToMultiByte", "WriteFile"};
    calls.insert(calls.end(), flavourCalls.begin(), flavourCalls.end());
    std::sort(calls.begin(), calls.end());
    return calls;
}

// The find's window (USER32, GDI32) and the port names (wsprintfA), in every flavour,
// with what NSIS's plug-in library calls in that flavour.
std::vector<std::string> PluginUser32(std::initializer_list<const char *> flavourCalls)
{
    std::vector<std::string> calls = {
        "AdjustWindowRectEx", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "DispatchMessageW", "DrawTextW",
        "EnableWindow", "GetDC", "GetSystemMetrics", "GetWindowRect", "GetWindowTextW", "IsDialogMessageW",
        "IsIconic", "LoadCursorW", "MsgWaitForMultipleObjects", "PeekMessageW", "PostQuitMessage",
        "RegisterClassExW", "ReleaseDC", "SendMessageW", "SetFocus", "SetWindowTextW", "ShowWindow",
        "SystemParametersInfoW", "TranslateMessage", "UnregisterClassW", "wsprintfA"};
    calls.insert(calls.end(), flavourCalls.begin(), flavourCalls.end());
    std::sort(calls.begin(), calls.end());
    return calls;
}
const std::vector<std::string> kPluginGdi32 = {"CreateFontIndirectW", "DeleteObject", "GetTextMetricsW",
                                               "SelectObject"};

// The Unicode flavours' plug-in library copies with lstrcpynW and formats with wsprintfW;
// the ANSI flavour's copies and formats 8-bit texts only.
const Plugin kPlugins[] = {
    {"x86_ansi", TVR_PLUGIN_X86_ANSI_PATH, 0x014C, PluginKernel32({"lstrcpyA", "lstrcpynA"}), PluginUser32({})},
    {"x86_unicode", TVR_PLUGIN_X86_UNICODE_PATH, 0x014C, PluginKernel32({"lstrcpyW", "lstrcpynW"}),
     PluginUser32({"wsprintfW"})},
    {"amd64_unicode", TVR_PLUGIN_AMD64_UNICODE_PATH, 0x8664, PluginKernel32({"lstrcpyW", "lstrcpynW"}),
     PluginUser32({"wsprintfW"})},
};

class PluginFile : public ::testing::TestWithParam<Plugin> {
protected:
    void SetUp() override { ASSERT_EQ("", ReadPeFile(GetParam().pszPath, &m_image)); }
    PeImage m_image;
};

TEST_P(PluginFile, IsADllForItsMachine)
{
    EXPECT_EQ(GetParam().wMachine, m_image.wMachine);
    EXPECT_NE(0, m_image.wCharacteristics & 0x2000) << "IMAGE_FILE_DLL";
}

TEST_P(PluginFile, ExportsExactlyThePluginFunctionsByName)
{
    EXPECT_EQ("TvrModem.dll", m_image.strModuleName);
    std::vector<std::string> names;
    for (const PeExport &e : m_image.exports) {
        names.push_back(e.strName);
        EXPECT_FALSE(e.bForwarded) << e.strName;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"CheckPort", "Find", "ModemAvailable", "Scan"}), names);
    EXPECT_TRUE(m_image.unnamedOrdinals.empty()) << "an export reachable by ordinal alone";
}

TEST_P(PluginFile, ImportsExactlyWhatItsCodeAndNsisPluginLibraryCall)
{
    std::vector<std::string> dlls;
    for (const PeImport &imp : m_image.importedFunctions) {
        const std::string strDll = Lower(imp.strDll);
        dlls.push_back(strDll);
        std::vector<std::string> functions = imp.functions;
        std::sort(functions.begin(), functions.end());
        if (strDll == "kernel32.dll") {
            EXPECT_EQ(GetParam().kernel32, functions);
        } else if (strDll == "user32.dll") {
            EXPECT_EQ(GetParam().user32, functions);
        } else if (strDll == "gdi32.dll") {
            EXPECT_EQ(kPluginGdi32, functions);
        } else if (strDll == "msvcrt.dll") {
            EXPECT_EQ((std::vector<std::string>{"free", "malloc"}), functions);
        }
    }
    std::sort(dlls.begin(), dlls.end());
    EXPECT_EQ((std::vector<std::string>{"gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}), dlls);
    EXPECT_EQ(0u, m_image.dwDelayImportSize);
}

TEST_P(PluginFile, NeedsNoRuntimeStartupAndCarriesAVersionResource)
{
    for (const char *pszSection : kStartupSections)
        EXPECT_EQ(m_image.sectionNames.end(),
                  std::find(m_image.sectionNames.begin(), m_image.sectionNames.end(), pszSection))
            << "section " << pszSection;
    EXPECT_EQ(0u, m_image.dwTlsSize);
    EXPECT_EQ(".text", m_image.strEntrySection);
    EXPECT_TRUE(m_image.bHasVersionResource);
}

TEST_P(PluginFile, WeighsAtMostTwentyFourKilobytes)
{
    std::ifstream in(GetParam().pszPath, std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in);
    EXPECT_LE(static_cast<uint64_t>(in.tellg()) - m_image.dwSecuritySize, kMaxImageBytes);
}

INSTANTIATE_TEST_SUITE_P(Flavours, PluginFile, ::testing::ValuesIn(kPlugins),
                         [](const ::testing::TestParamInfo<Plugin> &info) { return std::string(info.param.pszName); });

// A damaged file gives a message, never a read past its end: every cut of a real DLL
// short of its full length either parses or says what is missing.
TEST(PeReader, EveryTruncationOfARealDllIsReadSafely)
{
    PeImage full;
    ASSERT_EQ("", ReadPeFile(TVR_DLL32_PATH, &full));
    std::ifstream in(TVR_DLL32_PATH, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1024u);
    int nRefused = 0;
    for (size_t cb = 0; cb < bytes.size(); cb += 97) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(cb));
        PeImage image;
        if (!ReadPeImage(cut, &image).empty())
            ++nRefused;
    }
    EXPECT_GT(nRefused, 0);
}

TEST(PeReader, RefusesWhatIsNotAPeImage)
{
    PeImage image;
    EXPECT_EQ("no MZ header", ReadPeImage({'E', 'L', 'F'}, &image));
    std::vector<uint8_t> dosOnly(64, 0);
    dosOnly[0] = 'M';
    dosOnly[1] = 'Z';
    dosOnly[0x3C] = 0x40; // the signature would start at the end of the file
    EXPECT_EQ("no PE header", ReadPeImage(dosOnly, &image));
}

} // namespace
