// Both builds of telvarid.dll read as files, without Wine, on every machine: the
// machine type, the export table a setup program resolves names and ordinals through,
// and the import table that must name the system's own DLLs only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pe_image.h"

namespace {

struct Build {
    const char *pszName;
    const char *pszPath;
    uint16_t wMachine; // IMAGE_FILE_MACHINE_I386 or IMAGE_FILE_MACHINE_AMD64
    uint16_t wMagic;   // PE32 or PE32+
};

// Names the build in the test's name and in messages, not its bytes.
void PrintTo(const Build &build, std::ostream *pos)
{
    *pos << build.pszName;
}

const Build kBuilds[] = {
    {"PE32", TVR_DLL32_PATH, 0x014C, 0x10B},
    {"PE32plus", TVR_DLL64_PATH, 0x8664, 0x20B},
};

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
};

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return str;
}

class DllFile : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override
    {
        std::string strError = ReadPeFile(GetParam().pszPath, &m_image);
        ASSERT_EQ("", strError);
    }
    PeImage m_image;
};

TEST_P(DllFile, IsADllForItsMachine)
{
    EXPECT_EQ(GetParam().wMachine, m_image.wMachine);
    EXPECT_EQ(GetParam().wMagic, m_image.wMagic);
    EXPECT_NE(0, m_image.wCharacteristics & 0x2000) << "IMAGE_FILE_DLL";
}

TEST_P(DllFile, ExportsExactlyTheFourFunctionsByNameAndOrdinal)
{
    EXPECT_EQ("telvarid.dll", m_image.strModuleName);
    EXPECT_EQ(1u, m_image.dwOrdinalBase);
    EXPECT_EQ(4u, m_image.dwFunctionCount);
    EXPECT_EQ(4u, m_image.dwNameCount);
    EXPECT_TRUE(m_image.unnamedOrdinals.empty()) << "an export reachable by ordinal alone";
    ASSERT_EQ(4u, m_image.exports.size());
    for (const ExpectedExport &want : kExports) {
        auto it = std::find_if(m_image.exports.begin(), m_image.exports.end(),
                               [&](const PeExport &e) { return e.strName == want.pszName; });
        ASSERT_NE(m_image.exports.end(), it) << want.pszName << " is not exported under that exact name";
        EXPECT_EQ(want.dwOrdinal, it->dwOrdinal) << want.pszName;
        EXPECT_FALSE(it->bForwarded) << want.pszName;
        EXPECT_NE(0u, it->dwRva) << want.pszName;
    }
    // Four names, four distinct functions.
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

TEST_P(DllFile, CarriesAVersionResource)
{
    EXPECT_TRUE(m_image.bHasVersionResource);
}

INSTANTIATE_TEST_SUITE_P(Builds, DllFile, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) { return std::string(info.param.pszName); });

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
