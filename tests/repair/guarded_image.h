#ifndef KWRNDL_TESTS_GUARDED_IMAGE_H
#define KWRNDL_TESTS_GUARDED_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

// A memory image for the repair, watched for accesses outside it. Under the
// address sanitizer the image is alone in its heap block, so any stray read
// or write is caught; elsewhere (under Wine) canary bytes on both sides catch
// stray writes.
class GuardedImage {
public:
    explicit GuardedImage(const std::vector<uint8_t> &bytes)
        : block_(bytes.size() + 2 * Pad, Canary)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            block_[Pad + i] = bytes[i];
    }

    uint8_t *Data() { return block_.empty() ? NULL : &block_[Pad]; }
    uint32_t Size() const { return (uint32_t)(block_.size() - 2 * Pad); }

    std::vector<uint8_t> Bytes() const
    {
        return std::vector<uint8_t>(block_.begin() + Pad, block_.end() - Pad);
    }

    bool CanariesIntact() const
    {
        for (size_t i = 0; i != Pad; ++i)
            if (block_[i] != Canary || block_[block_.size() - 1 - i] != Canary)
                return false;
        return true;
    }

private:
#if defined(__SANITIZE_ADDRESS__)
    static constexpr size_t Pad = 0;
#else
    static constexpr size_t Pad = 256;
#endif
    static constexpr uint8_t Canary = 0xCD;
    std::vector<uint8_t> block_;
};

#endif
