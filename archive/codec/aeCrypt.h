// The traditional zip encryption: three 32-bit keys driven by CRC-32 steps, the 12-byte
// encryption header in front of an entry's data, and its check against a password.
//
// A key state belongs to one run (the run's context holds it). The overloads without a key
// state use the engine's shared one, ZipKeys(), for callers that keep none of their own.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct TZipKeys {
    uint32_t key0 = 0x12345678, key1 = 0x23456789, key2 = 0x34567890;

    void Init(const std::string& Password);
    void Update(uint8_t Plain);
    uint8_t StreamByte() const {
        const uint32_t t = (key2 & 0xFFFF) | 2;
        return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
    }
    uint8_t EncryptByte(uint8_t Plain);
    uint8_t DecryptByte(uint8_t Cipher);
    void EncryptBuffer(uint8_t* Buffer, size_t Count); // in place
    void DecryptBuffer(uint8_t* Buffer, size_t Count); // in place
};

constexpr size_t kZipHeaderSize = 12;
using TZipCryptHeader = std::array<uint8_t, kZipHeaderSize>;

// The engine's shared key state.
TZipKeys& ZipKeys();

void ZipInitKeys(TZipKeys& Keys, const std::string& Password); // at most 255 characters used
void ZipUpdateKeys(TZipKeys& Keys, uint8_t Byte);
uint8_t ZipStreamByte(const TZipKeys& Keys);
uint8_t ZipEncryptByte(TZipKeys& Keys, uint8_t Plain);
uint8_t ZipDecryptByte(TZipKeys& Keys, uint8_t Cipher);

// The 12-byte header: 10 random bytes and the two high bytes of Check (normally the entry's
// CRC-32), encrypted. Keys are left ready for the entry's data.
TZipCryptHeader ZipMakeHeader(TZipKeys& Keys, const std::string& Password, uint32_t Check);

// Decrypts the Length encrypted bytes at Buffer + Length into Buffer[0 .. Length-1] (Buffer
// holds 2 * Length bytes) and compares the last plain byte: with Flags bit 3 against the high
// byte of the 16-bit DOS FileTime, else against Crc >> 24. An empty password or Length 0
// fails. Keys are left ready for the entry's data.
bool ZipCheckHeader(TZipKeys& Keys, uint8_t* Buffer, size_t Length, uint32_t Flags,
                    const std::string& Password, uint32_t FileTime, uint32_t Crc);
// The same with the encrypted header and its plain output apart (Length bytes each).
bool ZipCheckHeader(TZipKeys& Keys, const uint8_t* Encrypted, uint8_t* Plain, size_t Length, uint32_t Flags,
                    const std::string& Password, uint32_t FileTime, uint32_t Crc);

// The same operations on the shared key state.
void ZipInitKeys(const std::string& Password);
void ZipUpdateKeys(uint8_t Byte);
uint8_t ZipStreamByte();
uint8_t ZipEncryptByte(uint8_t Plain);
uint8_t ZipDecryptByte(uint8_t Cipher);
TZipCryptHeader ZipMakeHeader(const std::string& Password, uint32_t Check);
bool ZipCheckHeader(uint8_t* Buffer, size_t Length, uint32_t Flags, const std::string& Password,
                    uint32_t FileTime, uint32_t Crc);
