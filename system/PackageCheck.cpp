#include "system/PackageCheck.h"

#include "system/Encoding.h"
#include "system/Resource.h"
#include "system/Sync.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Pieces of at most 1 MiB; at most this much waits for the hash, so a slow
// hash holds the download back instead of filling the memory.
constexpr size_t kPiece = 1 << 20;
constexpr size_t kMostWaiting = 8 << 20;

} // namespace

class TPackageCheck::Hasher {
public:
    Hasher()
    {
        // Without a thread of its own the caller hashes.
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
        }
    }
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;
    ~Hasher() { finish(); }

    void push(const char* data, size_t size)
    {
        if (!thread_.joinable()) {
            digest_.update(data, size);
            return;
        }
        while (size > 0) {
            const size_t piece = std::min(size, kPiece);
            {
                std::unique_lock lock(mutex_);
                roomLeft_.wait(lock, [this] { return waiting_ < kMostWaiting; });
                std::string buffer;
                if (!spare_.empty()) {
                    buffer = std::move(spare_.back());
                    spare_.pop_back();
                }
                buffer.assign(data, piece);
                queue_.push_back(std::move(buffer));
                waiting_ += piece;
            }
            workDue_.notifyOne();
            data += piece;
            size -= piece;
        }
    }

    // Once every byte pushed is hashed.
    signing::PackageDigest& finish()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        workDue_.notifyOne();
        if (thread_.joinable())
            thread_.join();
        return digest_;
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            workDue_.wait(lock, [this] { return !queue_.empty() || done_; });
            if (queue_.empty())
                return;
            std::string piece = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            digest_.update(piece.data(), piece.size());
            lock.lock();
            waiting_ -= piece.size();
            // Kept for the next piece: fresh memory costs page faults.
            spare_.push_back(std::move(piece));
            roomLeft_.notifyOne();
        }
    }

    signing::PackageDigest digest_;
    // Handed a piece per MiB: waits that stay inside the process.
    win::SrwLock mutex_;
    win::Condition workDue_;
    win::Condition roomLeft_;
    std::deque<std::string> queue_;
    std::vector<std::string> spare_;
    size_t waiting_ = 0;
    bool done_ = false;
    // Last: it starts after the members it uses.
    std::thread thread_;
};

TPackageCheck::TPackageCheck(const std::wstring& softId) : product_(signing::appIdOf(win::toUtf8(softId)))
{
    if (!ownResourceExists(kPackageKeyResource, kFileResourceType))
        return;
    const auto bytes = ownResourceBytes(kPackageKeyResource, kFileResourceType);
    keyRead_ = signing::parsePublicKey(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                       key_);
    hasher_ = std::make_unique<Hasher>();
}

TPackageCheck::~TPackageCheck() = default;

void TPackageCheck::update(const void* data, size_t size)
{
    if (hasher_)
        hasher_->push(static_cast<const char*>(data), size);
    given_ += size;
}

void TPackageCheck::restart()
{
    if (hasher_ && given_ > 0)
        hasher_ = std::make_unique<Hasher>();
    given_ = 0;
}

bool TPackageCheck::passed()
{
    if (!passed_) {
        passed_ = true;
        if (hasher_) {
            verification_ = signing::verifyPackage(hasher_->finish(), key_, &product_);
            passed_ = keyRead_ && verification_.verdict == signing::Verdict::Valid;
        }
    }
    return *passed_;
}
