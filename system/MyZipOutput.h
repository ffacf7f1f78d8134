// The file one archive entry is extracted into: written and finished (and
// mostly made) on the write-behind thread while the extracting thread reads,
// decrypts and inflates the data that follows. Part of MyZip.
#pragma once

#include "system/Handles.h"
#include "system/MyZip.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace myzip {

// Why an entry was skipped; nothing when it was extracted.
struct Skip {
    TSkipReason reason;
    DWORD error = 0;
};
using EntryResult = std::optional<Skip>;

class EntryOutput {
public:
    // TARGET gets the entry's content, then its modification time and
    // ATTRIBUTES; WRITTEN counts every byte written. CRC, when the archive
    // gives one, is what the content's CRC-32 must be: it is computed here,
    // on the write-behind thread, as each block is written, which takes it
    // off the extracting thread.
    EntryOutput(std::wstring target, time_t mtime, DWORD attributes, std::optional<uint32_t> crc,
                std::atomic<uint64_t>& written);
    EntryOutput(const EntryOutput&) = delete;
    EntryOutput& operator=(const EntryOutput&) = delete;

    // In this order: open once (on the write-behind thread, or on the
    // extracting thread before any write is queued), then on the
    // write-behind thread write any number of times, finish once. An
    // existing file at the target is replaced only by finish, and only when
    // INTACT (the entry checked out whole as far as the extracting thread
    // can tell) and the content's CRC is the one given; otherwise nothing of
    // the entry is left behind.
    void open();
    void write(const unsigned char* data, size_t size);
    EntryResult finish(bool intact);

    // On any thread: the file cannot be made or written; the entry's
    // remaining data need not be read.
    bool failed() const { return failed_; }

private:
    void fail(Skip skip);

    std::wstring target_;
    time_t mtime_;
    DWORD attributes_;
    std::optional<uint32_t> expectedCrc_;
    uint32_t crc_ = 0;
    std::atomic<uint64_t>& written_;
    win::FileHandle file_;
    // The target, or the fresh file beside an existing one.
    std::wstring path_;
    bool replacing_ = false;
    EntryResult failure_;
    std::atomic<bool> failed_{false};
};

} // namespace myzip
