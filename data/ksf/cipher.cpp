// Password key derivation and the offset-addressed XChaCha20 keystream.
#include "data/ksf/cipher.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace sk::ksf {

namespace {

// The fixed application salt (crypto_pwhash_SALTBYTES bytes).
constexpr char kCipherSalt[] = "Sitekeeper/KSF/1";
static_assert(sizeof kCipherSalt - 1 == crypto_pwhash_SALTBYTES);

// A fixed nonce: the keystream position alone comes from the file offset.
constexpr unsigned char kNonce[crypto_stream_xchacha20_NONCEBYTES] = {'k', 'E', 's', 'T'};

constexpr std::size_t kBlock = 64;

}  // namespace

std::shared_ptr<const PageCipher> PageCipher::for_password(std::string_view password) {
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<const PageCipher>, std::less<>> derived;
    std::lock_guard<std::mutex> guard(lock);
    if (auto it = derived.find(password); it != derived.end()) return it->second;
    if (sodium_init() < 0) return nullptr;
    auto cipher = std::make_shared<PageCipher>();
    if (crypto_pwhash(cipher->m_key, kKeyBytes, password.data(), password.size(),
                      reinterpret_cast<const unsigned char*>(kCipherSalt), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                      crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return nullptr;
    derived.emplace(std::string(password), cipher);
    return cipher;
}

void PageCipher::apply(std::uint64_t offset, std::uint8_t* data, std::size_t n) const {
    if (n == 0) return;
    const std::size_t skip = static_cast<std::size_t>(offset % kBlock);
    std::uint64_t block = offset / kBlock;
    if (skip != 0) {
        // A start inside a block: that block's keystream, from the byte in question.
        std::uint8_t stream[kBlock] = {};
        crypto_stream_xchacha20_xor_ic(stream, stream, kBlock, kNonce, block, m_key);
        const std::size_t head = std::min(n, kBlock - skip);
        for (std::size_t i = 0; i < head; ++i) data[i] ^= stream[skip + i];
        data += head;
        n -= head;
        ++block;
    }
    if (n > 0) crypto_stream_xchacha20_xor_ic(data, data, n, kNonce, block, m_key);
}

bool PageCipher::same_key(const PageCipher& other) const {
    return sodium_memcmp(m_key, other.m_key, kKeyBytes) == 0;
}

std::string owner_password(const char* text, std::size_t length) {
    if (text == nullptr) return {};
    std::string s(text, length);
    if (const std::size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
    const std::size_t last = s.find_last_not_of(' ');
    s.resize(last == std::string::npos ? 0 : last + 1);
    return s;
}

}  // namespace sk::ksf
