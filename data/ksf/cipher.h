// Enciphering of files opened with an owner password.
//
// Every byte of such a file (header, pages, journal entries) is stored XORed
// with a keystream that depends only on the password and on the byte's file
// offset, so enciphering is length-preserving and any 64-byte block can be
// read or rewritten on its own, as the page layer does.
//
// Cipher: XChaCha20 (libsodium crypto_stream_xchacha20_xor_ic). The 64-byte
// block at file offset o uses block counter o / 64 under a fixed nonce, so a
// block's keystream never depends on what else is written.
// Key: Argon2id (crypto_pwhash, interactive limits) over the password with
// the fixed application salt kCipherSalt below; the file format has no room
// for a per-file salt or nonce. Consequences of that: two files with the same
// password share a keystream, and a block rewritten in place reuses its
// keystream, so the scheme hides content from a reader of one file image but
// is not authenticated and does not hide which blocks changed between copies.
// A wrong password is noticed because the header then deciphers without its
// signature; the file is refused as not a KSF file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sk::ksf {

class PageCipher {
public:
    static constexpr std::size_t kKeyBytes = 32;

    // The cipher of a password; the key is derived once per password and
    // process (derivation is deliberately slow). Null when the derivation fails
    // (out of memory, or libsodium not usable).
    static std::shared_ptr<const PageCipher> for_password(std::string_view password);

    // Enciphers or deciphers (the same operation) n bytes that lie at file
    // offset offset, in place.
    void apply(std::uint64_t offset, std::uint8_t* data, std::size_t n) const;

    bool same_key(const PageCipher& other) const;

private:
    std::uint8_t m_key[kKeyBytes] = {};
};

// The owner password of a control block's text: blank padding and anything
// after a NUL removed. Empty means the file is not enciphered.
std::string owner_password(const char* text, std::size_t length);

// Applies cipher (when not null) to a buffer read from offset.
inline void decipher(const PageCipher* cipher, std::uint64_t offset, void* data, std::size_t n) {
    if (cipher != nullptr) cipher->apply(offset, static_cast<std::uint8_t*>(data), n);
}

}  // namespace sk::ksf
