// The install job holder: every record handed over is freed exactly once,
// by the next hand-over or by the holder's end. Frees are seen through the
// program's global operator delete, replaced here.

#include <gtest/gtest.h>

#include "install/installjob.h"

#include <cstdlib>
#include <new>

namespace {

constexpr int kWatched = 3;
const void* g_watched[kWatched] = {};
int g_frees[kWatched] = {};

void NoteFree(void* block)
{
    for (int i = 0; i < kWatched; ++i) {
        if (block && block == g_watched[i])
            ++g_frees[i];
    }
}

InstallJob* WatchedJob(int slot, const wchar_t* name)
{
    auto* job = new InstallJob();
    job->name = name;
    job->installDir = L"C:\\Games\\A folder long enough to live on the heap";
    g_watched[slot] = job;
    g_frees[slot] = 0;
    return job;
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    NoteFree(block);
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    NoteFree(block);
    std::free(block);
}

TEST(InstallJobHolderTest, EveryRecordHandedOverIsFreedExactlyOnce)
{
    auto* holder = new CInstallNotify();
    EXPECT_EQ(nullptr, holder->Job());

    InstallJob* first = WatchedJob(0, L"First");
    EXPECT_EQ(first, holder->SetPayload(first));
    // Handing over the record it holds keeps it, readable and not freed.
    EXPECT_EQ(first, holder->SetPayload(first));
    EXPECT_EQ(0, g_frees[0]);
    ASSERT_EQ(first, holder->Job());
    EXPECT_EQ(L"First", holder->Job()->name.value_or(L""));

    // A second record frees the first.
    InstallJob* second = WatchedJob(1, L"Second");
    EXPECT_EQ(second, holder->SetPayload(second));
    EXPECT_EQ(1, g_frees[0]);
    EXPECT_EQ(L"Second", holder->Job()->name.value_or(L""));
    // A freed block may come back for a later record.
    g_watched[0] = nullptr;

    // Null frees the held record and leaves the holder empty.
    EXPECT_EQ(nullptr, holder->SetPayload(nullptr));
    EXPECT_EQ(1, g_frees[1]);
    EXPECT_EQ(nullptr, holder->Job());
    EXPECT_EQ(nullptr, holder->SetPayload(nullptr));
    g_watched[1] = nullptr;

    // The holder's end frees what it holds, once.
    InstallJob* third = WatchedJob(2, L"Third");
    holder->SetPayload(third);
    EXPECT_EQ(0, g_frees[2]);
    delete holder;
    EXPECT_EQ(1, g_frees[2]);
    g_watched[2] = nullptr;
}
