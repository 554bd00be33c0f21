// Owners for what an export acquires: each releases its resource when it goes out of
// scope, so every return path gives back what was opened, without a cleanup ladder.
#ifndef TVR_FRAME_OWNED_H
#define TVR_FRAME_OWNED_H

#include <windows.h>
#include <stdlib.h>

// Traits: the resource type, its empty value and how to release it.
template <typename Traits>
class Owned {
public:
    typedef typename Traits::Type Type;

    Owned() : m_h(Traits::Empty()) {}
    explicit Owned(Type h) : m_h(h) {}
    ~Owned() { Reset(); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Empty(); }

    // Releases what is held now, then holds h.
    void Reset(Type h = Traits::Empty())
    {
        if (IsValid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h;
};

// A file or device handle from CreateFileA: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    typedef HANDLE Type;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

// A block from malloc.
struct HeapBlockTraits {
    typedef void *Type;
    static Type Empty() { return NULL; }
    static void Close(Type p) { free(p); }
};

typedef Owned<FileHandleTraits> OwnedFile;
typedef Owned<HeapBlockTraits> OwnedHeapBlock;

#endif // TVR_FRAME_OWNED_H
