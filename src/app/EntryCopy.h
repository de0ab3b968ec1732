#pragma once
// A row's copy of its media entry for the list's journal. The copy is made once and then handed
// to the journal's writer again and again, until the entry differs from it; only then is a new
// copy made. Writing a list of many thousand rows of which few changed thus clones few entries.
// Copies are never changed once made, so the writer thread may read them while the
// user-interface thread keeps going.

#include <atomic>
#include <memory>

class ListFileInfo;
class TFormatInfo;

class TEntryCopy {
public:
    TEntryCopy() = default;
    // Starts from a copy already made (a row restored from the journal).
    explicit TEntryCopy(std::shared_ptr<const ListFileInfo> copy) : copy_(std::move(copy)) {}

    // A copy of `entry` as it is now: the one kept when the entry still equals it, else a new one.
    std::shared_ptr<const ListFileInfo> Of(const ListFileInfo& entry);

    // Field by field, the parameter set's included (by value, not by address).
    static bool Same(const ListFileInfo& a, const ListFileInfo& b);
    // Two parameter sets by value (both absent counts as the same).
    static bool SameParams(const TFormatInfo* a, const TFormatInfo* b);
    // Copies made so far by this process.
    static long Clones() { return clones_.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<const ListFileInfo> copy_;
    static std::atomic<long> clones_;
};
