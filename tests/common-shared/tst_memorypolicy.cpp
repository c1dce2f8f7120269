// The allocator as the program sets it at start: a block of megabytes (a
// CD+G picture scaled to the view) comes from the arena and, freed, stays
// there for the next; a larger free top is given back.
#include "memorypolicy.h"
#include "testutil.h"

#include <QTest>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdlib>
#include <cstring>

// The sanitizers bring allocators of their own; clang says so by feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELMAR_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELMAR_OWN_ALLOCATOR 1
#endif
#endif

namespace {
// Seen by the compiler as used: a malloc and free it can see through
// otherwise go.
void *volatile g_seen;

char *allocate(size_t bytes)
{
    auto *p = static_cast<char *>(std::malloc(bytes));
    std::memset(p, 1, bytes);
    g_seen = p;
    return p;
}
} // namespace

class TestMemoryPolicy : public QObject
{
    Q_OBJECT

private slots:
    void bigBlocksFromTheArena()
    {
#if !defined(__GLIBC__) || defined(VELMAR_OWN_ALLOCATOR)
        QSKIP("glibc's allocator only (the sanitizers bring their own)");
#else
        MemoryPolicy::apply();
        constexpr size_t kPicture = 10u << 20;
        const struct mallinfo2 before = mallinfo2();
        char *picture = allocate(kPicture);
        // Not a mapping of its own.
        QCOMPARE(mallinfo2().hblks, before.hblks);
        std::free(picture);
        // Kept at the top of the arena for the next picture.
        QCOMPARE_GE(mallinfo2().keepcost, kPicture);
        // A block beyond the arenas' share is mapped, and a top past the
        // trim threshold is given back.
        char *huge = allocate(40u << 20);
        QCOMPARE(mallinfo2().hblks, before.hblks + 1);
        std::free(huge);
        char *blocks[3];
        for (char *&b : blocks)
            b = allocate(kPicture);
        for (int i = 2; i >= 0; --i)
            std::free(blocks[i]);
        QCOMPARE_LT(mallinfo2().keepcost, size_t(16u << 20) + kPicture);
#endif
    }
};

VELMAR_TEST(TestMemoryPolicy)
#include "tst_memorypolicy.moc"
