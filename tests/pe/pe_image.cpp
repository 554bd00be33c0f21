#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace {

// Offsets and sizes of the PE format, from the published Microsoft PE/COFF layout.
const uint32_t kDosLfanew = 0x3C;         // e_lfanew: offset of the "PE\0\0" signature
const uint32_t kCoffSize = 20;            // COFF file header after the signature
const uint16_t kMagicPe32 = 0x10B;
const uint16_t kMagicPe32Plus = 0x20B;
const uint32_t kDirCountPe32 = 92;        // NumberOfRvaAndSizes in the optional header
const uint32_t kDirCountPe32Plus = 108;
const uint32_t kDirsPe32 = 96;            // the data directories follow it
const uint32_t kDirsPe32Plus = 112;
const uint32_t kDirExport = 0;
const uint32_t kDirImport = 1;
const uint32_t kDirResource = 2;
const uint32_t kDirException = 3;
const uint32_t kDirSecurity = 4;
const uint32_t kDirBaseReloc = 5;
const uint32_t kDirTls = 9;
const uint32_t kDirDelayImport = 13;
const uint32_t kSectionHeaderSize = 40;
const uint32_t kImportDescriptorSize = 20;
const uint32_t kResourceTypeVersion = 16; // RT_VERSION
const uint32_t kEntryPointAt = 16;        // AddressOfEntryPoint in the optional header
const uint32_t kDllCharacteristicsAt = 70; // the same offset in PE32 and PE32+
const uint32_t kSectionFlagsAt = 36;      // Characteristics in a section header
const uint32_t kRelocBlockHeader = 8;     // page RVA and block size, then 2-byte entries
const uint16_t kRelocPadding = 0;         // IMAGE_REL_BASED_ABSOLUTE: fills a block to 4 bytes
const size_t kMaxImportedFunctions = 4096; // longest lookup table read
const size_t kMaxName = 256;              // longest name read from a table

class Reader {
public:
    explicit Reader(const std::vector<uint8_t> &bytes) : m_bytes(bytes) {}

    bool Fits(uint64_t qwOffset, uint64_t cb) const { return qwOffset + cb <= m_bytes.size(); }

    bool U16(uint64_t qwOffset, uint16_t *pw) const
    {
        if (!Fits(qwOffset, 2))
            return false;
        *pw = static_cast<uint16_t>(m_bytes[qwOffset] | (m_bytes[qwOffset + 1] << 8));
        return true;
    }

    bool U32(uint64_t qwOffset, uint32_t *pdw) const
    {
        if (!Fits(qwOffset, 4))
            return false;
        *pdw = static_cast<uint32_t>(m_bytes[qwOffset]) | (static_cast<uint32_t>(m_bytes[qwOffset + 1]) << 8) |
               (static_cast<uint32_t>(m_bytes[qwOffset + 2]) << 16) |
               (static_cast<uint32_t>(m_bytes[qwOffset + 3]) << 24);
        return true;
    }

    // A zero-terminated string, at most kMaxName characters, all inside the file.
    bool String(uint64_t qwOffset, std::string *pstr) const
    {
        pstr->clear();
        for (size_t i = 0; i < kMaxName; ++i) {
            if (!Fits(qwOffset + i, 1))
                return false;
            char ch = static_cast<char>(m_bytes[qwOffset + i]);
            if (ch == '\0')
                return true;
            pstr->push_back(ch);
        }
        return false;
    }

private:
    const std::vector<uint8_t> &m_bytes;
};

struct Section {
    std::string strName;
    uint32_t dwVirtualAddress;
    uint32_t dwVirtualSize;
    uint32_t dwRawSize;
    uint32_t dwRawOffset;
};

// The file offset of an RVA, through the section that holds it.
bool RvaToOffset(const std::vector<Section> &sections, uint32_t dwRva, uint64_t *pqwOffset)
{
    for (const Section &s : sections) {
        uint32_t cbSpan = s.dwVirtualSize > s.dwRawSize ? s.dwVirtualSize : s.dwRawSize;
        if (dwRva >= s.dwVirtualAddress && static_cast<uint64_t>(dwRva) < static_cast<uint64_t>(s.dwVirtualAddress) + cbSpan) {
            uint32_t dwDelta = dwRva - s.dwVirtualAddress;
            if (dwDelta >= s.dwRawSize)
                return false; // in the section's zero-filled tail: not in the file
            *pqwOffset = static_cast<uint64_t>(s.dwRawOffset) + dwDelta;
            return true;
        }
    }
    return false;
}

} // namespace

std::string ReadPeImage(const std::vector<uint8_t> &bytes, PeImage *pImage)
{
    Reader r(bytes);
    *pImage = PeImage();
    if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z')
        return "no MZ header";
    uint32_t dwPe = 0;
    if (!r.U32(kDosLfanew, &dwPe) || !r.Fits(dwPe, 4 + kCoffSize))
        return "no PE header";
    if (bytes[dwPe] != 'P' || bytes[dwPe + 1] != 'E' || bytes[dwPe + 2] != 0 || bytes[dwPe + 3] != 0)
        return "no PE signature";
    const uint64_t qwCoff = dwPe + 4ull;
    uint16_t wSections = 0, wOptionalSize = 0;
    r.U16(qwCoff + 0, &pImage->wMachine);
    r.U16(qwCoff + 2, &wSections);
    r.U16(qwCoff + 16, &wOptionalSize);
    r.U16(qwCoff + 18, &pImage->wCharacteristics);
    const uint64_t qwOptional = qwCoff + kCoffSize;
    if (!r.U16(qwOptional, &pImage->wMagic))
        return "no optional header";
    uint32_t dwDirCountAt, dwDirsAt;
    if (pImage->wMagic == kMagicPe32) {
        dwDirCountAt = kDirCountPe32;
        dwDirsAt = kDirsPe32;
    } else if (pImage->wMagic == kMagicPe32Plus) {
        dwDirCountAt = kDirCountPe32Plus;
        dwDirsAt = kDirsPe32Plus;
    } else {
        return "unknown optional header magic";
    }
    uint32_t dwDirCount = 0;
    if (!r.U32(qwOptional + dwDirCountAt, &dwDirCount) || !r.U32(qwOptional + kEntryPointAt, &pImage->dwEntryPointRva) ||
        !r.U16(qwOptional + kDllCharacteristicsAt, &pImage->wDllCharacteristics))
        return "optional header cut short";

    std::vector<Section> sections;
    const uint64_t qwSections = qwOptional + wOptionalSize;
    for (uint16_t i = 0; i < wSections; ++i) {
        const uint64_t q = qwSections + static_cast<uint64_t>(i) * kSectionHeaderSize;
        Section s;
        if (!r.Fits(q, 8))
            return "section table cut short";
        for (uint64_t i8 = 0; i8 < 8 && bytes[q + i8] != 0; ++i8)
            s.strName.push_back(static_cast<char>(bytes[q + i8]));
        uint32_t dwFlags;
        if (!r.U32(q + 8, &s.dwVirtualSize) || !r.U32(q + 12, &s.dwVirtualAddress) || !r.U32(q + 16, &s.dwRawSize) ||
            !r.U32(q + 20, &s.dwRawOffset) || !r.U32(q + kSectionFlagsAt, &dwFlags))
            return "section table cut short";
        sections.push_back(s);
        pImage->sectionNames.push_back(s.strName);
        pImage->sectionFlags.push_back(dwFlags);
        if (pImage->dwEntryPointRva >= s.dwVirtualAddress &&
            pImage->dwEntryPointRva - s.dwVirtualAddress < (s.dwVirtualSize > s.dwRawSize ? s.dwVirtualSize : s.dwRawSize))
            pImage->strEntrySection = s.strName;
    }

    auto dir = [&](uint32_t dwIndex, uint32_t *pdwRva, uint32_t *pdwSize) {
        *pdwRva = 0;
        *pdwSize = 0;
        if (dwIndex >= dwDirCount)
            return;
        r.U32(qwOptional + dwDirsAt + 8ull * dwIndex, pdwRva);
        r.U32(qwOptional + dwDirsAt + 8ull * dwIndex + 4, pdwSize);
    };

    // Exports.
    uint32_t dwExpRva, dwExpSize;
    dir(kDirExport, &dwExpRva, &dwExpSize);
    if (dwExpRva != 0) {
        uint64_t qwExp;
        if (!RvaToOffset(sections, dwExpRva, &qwExp))
            return "export directory outside the file";
        uint32_t dwNameRva, dwFunctionsRva, dwNamesRva, dwOrdinalsRva;
        if (!r.U32(qwExp + 12, &dwNameRva) || !r.U32(qwExp + 16, &pImage->dwOrdinalBase) ||
            !r.U32(qwExp + 20, &pImage->dwFunctionCount) || !r.U32(qwExp + 24, &pImage->dwNameCount) ||
            !r.U32(qwExp + 28, &dwFunctionsRva) || !r.U32(qwExp + 32, &dwNamesRva) || !r.U32(qwExp + 36, &dwOrdinalsRva))
            return "export directory cut short";
        uint64_t q;
        if (!RvaToOffset(sections, dwNameRva, &q) || !r.String(q, &pImage->strModuleName))
            return "module name unreadable";
        uint64_t qwFunctions, qwNames = 0, qwOrdinals = 0;
        if (!RvaToOffset(sections, dwFunctionsRva, &qwFunctions))
            return "export address table outside the file";
        if (pImage->dwNameCount > 0 &&
            (!RvaToOffset(sections, dwNamesRva, &qwNames) || !RvaToOffset(sections, dwOrdinalsRva, &qwOrdinals)))
            return "export name tables outside the file";
        std::vector<bool> named(pImage->dwFunctionCount, false);
        for (uint32_t i = 0; i < pImage->dwNameCount; ++i) {
            uint32_t dwNameAt;
            uint16_t wIndex;
            if (!r.U32(qwNames + 4ull * i, &dwNameAt) || !r.U16(qwOrdinals + 2ull * i, &wIndex))
                return "export name tables cut short";
            PeExport e;
            if (!RvaToOffset(sections, dwNameAt, &q) || !r.String(q, &e.strName))
                return "export name unreadable";
            if (wIndex >= pImage->dwFunctionCount)
                return "export name points past the address table";
            if (!r.U32(qwFunctions + 4ull * wIndex, &e.dwRva))
                return "export address table cut short";
            e.dwOrdinal = pImage->dwOrdinalBase + wIndex;
            e.bForwarded = e.dwRva >= dwExpRva && e.dwRva < dwExpRva + dwExpSize;
            named[wIndex] = true;
            pImage->exports.push_back(e);
        }
        for (uint32_t i = 0; i < pImage->dwFunctionCount; ++i) {
            uint32_t dwRva;
            if (!r.U32(qwFunctions + 4ull * i, &dwRva))
                return "export address table cut short";
            if (!named[i] && dwRva != 0)
                pImage->unnamedOrdinals.push_back(pImage->dwOrdinalBase + i);
        }
    }

    // Imports: descriptors up to the all-zero one.
    uint32_t dwImpRva, dwImpSize;
    dir(kDirImport, &dwImpRva, &dwImpSize);
    if (dwImpRva != 0) {
        uint64_t qwImp;
        if (!RvaToOffset(sections, dwImpRva, &qwImp))
            return "import directory outside the file";
        for (uint64_t q = qwImp;; q += kImportDescriptorSize) {
            uint32_t dwLookup, dwNameRva, dwThunks;
            if (!r.U32(q, &dwLookup) || !r.U32(q + 12, &dwNameRva) || !r.U32(q + 16, &dwThunks))
                return "import directory cut short";
            if (dwLookup == 0 && dwNameRva == 0 && dwThunks == 0)
                break;
            uint64_t qwName;
            std::string strName;
            if (!RvaToOffset(sections, dwNameRva, &qwName) || !r.String(qwName, &strName))
                return "import name unreadable";
            pImage->imports.push_back(strName);
            PeImport imp;
            imp.strDll = strName;
            // The lookup table: one entry per function, pointer-sized, up to a zero entry;
            // the top bit marks an import by ordinal, else the entry is the RVA of a hint
            // (2 bytes) and the name. Without a lookup table the thunks hold the same.
            const uint32_t cbEntry = pImage->wMagic == kMagicPe32Plus ? 8 : 4;
            uint64_t qwLookup;
            if (!RvaToOffset(sections, dwLookup != 0 ? dwLookup : dwThunks, &qwLookup))
                return "import lookup table outside the file";
            for (size_t i = 0;; ++i) {
                if (i == kMaxImportedFunctions)
                    return "import lookup table without an end";
                uint32_t dwLow, dwHigh = 0;
                const uint64_t qEntry = qwLookup + static_cast<uint64_t>(i) * cbEntry;
                if (!r.U32(qEntry, &dwLow) || (cbEntry == 8 && !r.U32(qEntry + 4, &dwHigh)))
                    return "import lookup table cut short";
                if (dwLow == 0 && dwHigh == 0)
                    break;
                const bool bByOrdinal = cbEntry == 8 ? (dwHigh & 0x80000000u) != 0 : (dwLow & 0x80000000u) != 0;
                if (bByOrdinal) {
                    imp.functions.push_back("#" + std::to_string(dwLow & 0xFFFFu));
                    continue;
                }
                uint64_t qwHint;
                std::string strFunction;
                if (!RvaToOffset(sections, dwLow & 0x7FFFFFFFu, &qwHint) || !r.String(qwHint + 2, &strFunction))
                    return "imported function name unreadable";
                imp.functions.push_back(strFunction);
            }
            pImage->importedFunctions.push_back(imp);
        }
    }

    uint32_t dwUnused;
    dir(kDirException, &dwUnused, &pImage->dwExceptionSize);
    dir(kDirTls, &dwUnused, &pImage->dwTlsSize);
    dir(kDirSecurity, &dwUnused, &pImage->dwSecuritySize);

    uint32_t dwDelayRva;
    dir(kDirDelayImport, &dwDelayRva, &pImage->dwDelayImportSize);

    // Base relocations: blocks of one page each, a header and then 2-byte entries whose
    // top 4 bits give the kind; a block may end in a padding entry, which moves nothing.
    uint32_t dwRelocRva;
    dir(kDirBaseReloc, &dwRelocRva, &pImage->dwRelocSize);
    if (dwRelocRva != 0 && pImage->dwRelocSize != 0) {
        uint64_t qwReloc;
        if (!RvaToOffset(sections, dwRelocRva, &qwReloc) || !r.Fits(qwReloc, pImage->dwRelocSize))
            return "relocation directory outside the file";
        for (uint32_t dwAt = 0; dwAt < pImage->dwRelocSize;) {
            uint32_t dwPage, cbBlock;
            if (pImage->dwRelocSize - dwAt < kRelocBlockHeader || !r.U32(qwReloc + dwAt, &dwPage) ||
                !r.U32(qwReloc + dwAt + 4, &cbBlock))
                return "relocation block cut short";
            if (cbBlock < kRelocBlockHeader || cbBlock % 2 != 0 || cbBlock > pImage->dwRelocSize - dwAt)
                return "relocation block of a wrong size";
            for (uint32_t dwEntry = kRelocBlockHeader; dwEntry < cbBlock; dwEntry += 2) {
                uint16_t wEntry;
                r.U16(qwReloc + dwAt + dwEntry, &wEntry);
                if ((wEntry >> 12) != kRelocPadding)
                    ++pImage->dwRelocCount;
            }
            dwAt += cbBlock;
        }
    }

    // Resources: is there a type-16 (version) entry at the root of the tree?
    uint32_t dwResRva, dwResSize;
    dir(kDirResource, &dwResRva, &dwResSize);
    if (dwResRva != 0) {
        uint64_t qwRes;
        uint16_t wNamed = 0, wIds = 0;
        if (RvaToOffset(sections, dwResRva, &qwRes) && r.U16(qwRes + 12, &wNamed) && r.U16(qwRes + 14, &wIds)) {
            for (uint32_t i = 0; i < static_cast<uint32_t>(wNamed) + wIds; ++i) {
                uint32_t dwId;
                if (r.U32(qwRes + 16 + 8ull * i, &dwId) && dwId == kResourceTypeVersion)
                    pImage->bHasVersionResource = true;
            }
        }
    }
    return std::string();
}

std::string ReadPeFile(const std::string &path, PeImage *pImage)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot open " + path + " (build it with make dll)";
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string strError = ReadPeImage(bytes, pImage);
    return strError.empty() ? strError : path + ": " + strError;
}
