// Both builds of telvarid.dll read as files, without Wine, on every machine: the
// machine type, the export table a setup program resolves names and ordinals through,
// and the import table that must name the system's own DLLs only.
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

// The build's DLL, or the file the build's variable names: the release checks read the
// DLLs of a signed archive with the same tests.
std::string PathOf(const Build &build)
{
    const char *pszOther = std::getenv(build.pszPathVariable);
    return pszOther != nullptr && *pszOther != '\0' ? pszOther : build.pszPath;
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
    {"gdi32.dll", {"CreateFontIndirectW", "DPtoLP", "DeleteObject", "GetDeviceCaps", "GetTextMetricsW", "LPtoDP",
                   "SelectObject"}},
    {"kernel32.dll",
     {"ClearCommError", "CloseHandle", "CreateEventA", "CreateFileA", "CreateThread", "FreeLibrary", "GetCommState",
      "GetLastError", "GetProcAddress", "GetSystemDirectoryA", "GetTickCount", "LoadLibraryExA", "PurgeComm",
      "ReadFile", "SetCommState", "SetCommTimeouts", "SetEvent", "SetupComm", "WaitForMultipleObjects",
      "WaitForSingleObject", "WriteFile", "lstrcpynW"}},
    {"msvcrt.dll", {"free", "malloc"}},
    {"user32.dll",
     {"AdjustWindowRectEx", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "DispatchMessageW", "DrawTextA",
      "DrawTextW", "EnableWindow", "GetClientRect", "GetDC", "GetDlgItem", "GetSystemMetrics", "GetWindowRect",
      "GetWindowTextW", "IsDialogMessageW", "IsIconic", "LoadCursorW", "LoadIconA", "MsgWaitForMultipleObjects",
      "PeekMessageW", "PostQuitMessage", "RegisterClassExW", "ReleaseDC", "SendDlgItemMessageA", "SendMessageA",
      "SendMessageW", "SetFocus", "SetRect", "SetWindowPos", "SetWindowTextA", "SetWindowTextW", "ShowWindow",
      "SystemParametersInfoW", "TranslateMessage", "UnregisterClassW", "wsprintfA", "wsprintfW"}},
};

// Sections that only the C runtime's start-up brings: its initializer tables (.CRT),
// thread-local storage (.tls), and the DWARF unwind tables of its objects (.eh_frame).
const char *const kStartupSections[] = {".CRT", ".tls", ".eh_frame", ".ctors", ".dtors"};

// The most a DLL may weigh, without the certificate table a signature appends: room for
// the find (threads and its window) beside the four first exports.
const uint64_t kMaxImageBytes = 24 * 1024;

struct ExpectedExport {
    const char *pszName;
    uint32_t dwOrdinal;
};

// The interface setup programs are written against: these names, undecorated, at these
// ordinals, and nothing else.
const ExpectedExport kExports[] = {
    {"TVRCheckCommParams", 1},
    {"TVRInitTextDialog", 2},
    {"TVRModemAvailable", 3},
    {"TVRScanForModem", 4},
    {"TVRFindModem", 5},
    {"TVRInitTextDialogW", 6},
};

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
    ASSERT_EQ(cExports, m_image.exports.size());
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

// The NSIS plug-in TvrModem.dll in each flavour: a DLL for its machine whose export
// table names exactly the plug-in functions (NSIS finds them by name), whose imports are
// exactly what its code and NSIS's plug-in library call, with no C runtime start-up and
// a version resource.
struct Plugin {
    const char *pszName;
    const char *pszPath;
    uint16_t wMachine;
    std::vector<std::string> kernel32; // sorted
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

// The find's window (USER32, GDI32) and the port names (wsprintfA); NSIS's plug-in
// library formats with wsprintfW in every flavour.
const std::vector<std::string> kPluginUser32 = {
    "AdjustWindowRectEx", "CreateWindowExW", "DefWindowProcW", "DestroyWindow", "DispatchMessageW", "DrawTextW",
    "EnableWindow", "GetDC", "GetSystemMetrics", "GetWindowRect", "GetWindowTextW", "IsDialogMessageW", "IsIconic",
    "LoadCursorW", "MsgWaitForMultipleObjects", "PeekMessageW", "PostQuitMessage", "RegisterClassExW", "ReleaseDC",
    "SendMessageW", "SetFocus", "SetRect", "SetWindowTextW", "ShowWindow", "SystemParametersInfoW",
    "TranslateMessage", "UnregisterClassW", "wsprintfA", "wsprintfW"};
const std::vector<std::string> kPluginGdi32 = {"CreateFontIndirectW", "DeleteObject", "GetDeviceCaps",
                                               "GetTextMetricsW", "SelectObject"};

// x86-ansi converts the find's message with lstrcpynW besides its own 8-bit copies.
const Plugin kPlugins[] = {
    {"x86_ansi", TVR_PLUGIN_X86_ANSI_PATH, 0x014C, PluginKernel32({"lstrcpyA", "lstrcpynA", "lstrcpynW"})},
    {"x86_unicode", TVR_PLUGIN_X86_UNICODE_PATH, 0x014C, PluginKernel32({"lstrcpyW", "lstrcpynW"})},
    {"amd64_unicode", TVR_PLUGIN_AMD64_UNICODE_PATH, 0x8664, PluginKernel32({"lstrcpyW", "lstrcpynW"})},
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
        if (strDll == "kernel32.dll")
            EXPECT_EQ(GetParam().kernel32, functions);
        else if (strDll == "user32.dll")
            EXPECT_EQ(kPluginUser32, functions);
        else if (strDll == "gdi32.dll")
            EXPECT_EQ(kPluginGdi32, functions);
        else if (strDll == "msvcrt.dll")
            EXPECT_EQ((std::vector<std::string>{"free", "malloc"}), functions);
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
