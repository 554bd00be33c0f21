// What every harness shares: the fuzzer's bytes read as the values that script a test,
// and an invariant check that names itself before the fuzzer keeps the input.
#ifndef TVR_TESTS_FUZZ_INPUT_H
#define TVR_TESTS_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#define Check(b) ((b) ? (void)0 : (fprintf(stderr, "invariant broken: %s (line %d)\n", #b, __LINE__), abort()))

// Reads the fuzzer's bytes in order, little-endian; past their end every read gives 0,
// so that any input, however short, scripts a whole test.
class FuzzBytes {
public:
    FuzzBytes(const uint8_t *p, size_t cb) : m_p(p), m_cb(cb) {}
    uint8_t U8() { return m_cb ? (--m_cb, *m_p++) : 0; }
    uint32_t U16() { return U8() | (static_cast<uint32_t>(U8()) << 8); }
    uint32_t U32() { return U16() | (U16() << 16); }
    // A text of 0 to cchMax bytes, any values.
    std::string Text(size_t cchMax)
    {
        size_t cch = U16() % (cchMax + 1);
        std::string str;
        for (size_t i = 0; i < cch; ++i)
            str.push_back(static_cast<char>(U8()));
        return str;
    }

private:
    const uint8_t *m_p;
    size_t m_cb;
};

#endif // TVR_TESTS_FUZZ_INPUT_H
