// A small reader of Windows PE images (PE32 and PE32+), native and without Wine: what
// the loader would see in a DLL's headers, export directory and import directory. Every
// read is checked against the file's size, so a damaged file gives an error message,
// never a read past the buffer.
#ifndef TVR_TESTS_PE_IMAGE_H
#define TVR_TESTS_PE_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

struct PeExport {
    std::string strName;    // the name a GetProcAddress by name looks up
    uint32_t dwOrdinal;     // biased ordinal: what a GetProcAddress by ordinal looks up
    uint32_t dwRva;         // address of the code
    bool bForwarded;        // the address points into the export directory (a forwarder)
};

struct PeImport {
    std::string strDll;                 // the DLL's name as the import directory gives it
    std::vector<std::string> functions; // imported by name, in lookup-table order;
                                        // an import by ordinal reads "#<ordinal>"
};

struct PeImage {
    uint16_t wMachine = 0;          // COFF machine type
    uint16_t wCharacteristics = 0;  // COFF characteristics
    uint16_t wMagic = 0;            // optional header magic: PE32 or PE32+
    std::string strModuleName;      // the export directory's name of the module
    uint32_t dwOrdinalBase = 0;
    uint32_t dwFunctionCount = 0;   // entries of the export address table
    uint32_t dwNameCount = 0;       // entries of the name table
    std::vector<PeExport> exports;  // every named export, in name-table order
    std::vector<uint32_t> unnamedOrdinals; // exported by ordinal only
    std::vector<std::string> imports;      // imported DLLs, in import-table order
    std::vector<PeImport> importedFunctions; // the same DLLs with what each gives
    std::vector<std::string> sectionNames; // in section-table order
    std::vector<uint32_t> sectionFlags;    // each section's Characteristics, in the same order
    uint16_t wDllCharacteristics = 0; // DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA...
    uint32_t dwRelocSize = 0;       // size of the base relocation directory
    uint32_t dwRelocCount = 0;      // base relocations in it, without the padding entries
    uint32_t dwEntryPointRva = 0;   // AddressOfEntryPoint
    std::string strEntrySection;    // the section that holds the entry point
    uint32_t dwExceptionSize = 0;   // size of the exception directory (.pdata)
    uint32_t dwTlsSize = 0;         // size of the thread-local storage directory
    uint32_t dwSecuritySize = 0;    // size of the certificate table (Authenticode)
    uint32_t dwDelayImportSize = 0; // size of the delay-load import directory
    bool bHasVersionResource = false; // a VERSIONINFO resource (type 16) is present
};

// Reads the image in bytes into *pImage. Returns an empty string on success, else what
// is wrong with the file.
std::string ReadPeImage(const std::vector<uint8_t> &bytes, PeImage *pImage);

// Reads the file at path; an error message when it cannot be read or parsed.
std::string ReadPeFile(const std::string &path, PeImage *pImage);

#endif // TVR_TESTS_PE_IMAGE_H
