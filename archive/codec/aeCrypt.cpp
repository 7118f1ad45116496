// The traditional zip cipher. Its key schedule is CRC-32 steps plus a linear congruential
// step (134775813 is the published multiplier of the format).
#include "archive/codec/aeCrypt.h"

#include "archive/aeCommon.h"

#include <algorithm>
#include <random>

void TZipKeys::Init(const std::string& Password) {
    key0 = 0x12345678;
    key1 = 0x23456789;
    key2 = 0x34567890;
    const size_t n = std::min<size_t>(Password.size(), 255);
    for (size_t i = 0; i < n; ++i) Update(static_cast<uint8_t>(Password[i]));
}

void TZipKeys::Update(uint8_t Plain) {
    key0 = Crc32Byte(Plain, key0);
    key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
    key2 = Crc32Byte(static_cast<uint8_t>(key1 >> 24), key2);
}

uint8_t TZipKeys::EncryptByte(uint8_t Plain) {
    const uint8_t s = StreamByte();
    Update(Plain);
    return static_cast<uint8_t>(Plain ^ s);
}

uint8_t TZipKeys::DecryptByte(uint8_t Cipher) {
    const auto plain = static_cast<uint8_t>(Cipher ^ StreamByte());
    Update(plain);
    return plain;
}

void TZipKeys::EncryptBuffer(uint8_t* Buffer, size_t Count) {
    for (size_t i = 0; i < Count; ++i) Buffer[i] = EncryptByte(Buffer[i]);
}

void TZipKeys::DecryptBuffer(uint8_t* Buffer, size_t Count) {
    for (size_t i = 0; i < Count; ++i) Buffer[i] = DecryptByte(Buffer[i]);
}

TZipKeys& ZipKeys() {
    static TZipKeys keys;
    return keys;
}

void ZipInitKeys(TZipKeys& Keys, const std::string& Password) {
    Keys.Init(Password);
}
void ZipUpdateKeys(TZipKeys& Keys, uint8_t Byte) {
    Keys.Update(Byte);
}
uint8_t ZipStreamByte(const TZipKeys& Keys) {
    return Keys.StreamByte();
}
uint8_t ZipEncryptByte(TZipKeys& Keys, uint8_t Plain) {
    return Keys.EncryptByte(Plain);
}
uint8_t ZipDecryptByte(TZipKeys& Keys, uint8_t Cipher) {
    return Keys.DecryptByte(Cipher);
}

TZipCryptHeader ZipMakeHeader(TZipKeys& Keys, const std::string& Password, uint32_t Check) {
    // The ten leading bytes only need to differ between entries; any uniform source does.
    static std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<int> byte(0, 255);
    Keys.Init(Password);
    TZipCryptHeader h{};
    for (size_t i = 0; i < 10; ++i) h[i] = Keys.EncryptByte(static_cast<uint8_t>(byte(gen)));
    h[10] = Keys.EncryptByte(static_cast<uint8_t>((Check >> 16) & 0xFF));
    h[11] = Keys.EncryptByte(static_cast<uint8_t>(Check >> 24));
    return h;
}

bool ZipCheckHeader(TZipKeys& Keys, const uint8_t* Encrypted, uint8_t* Plain, size_t Length, uint32_t Flags,
                    const std::string& Password, uint32_t FileTime, uint32_t Crc) {
    if (Password.empty() || Length == 0) return false;
    Keys.Init(Password);
    for (size_t i = 0; i < Length; ++i) Plain[i] = Keys.DecryptByte(Encrypted[i]);
    // With sizes and CRC after the data (bit 3) the writer did not know the CRC yet and
    // stored the high byte of the DOS time instead.
    const auto expect = static_cast<uint8_t>((Flags & 0x08) ? (FileTime >> 8) & 0xFF : Crc >> 24);
    return Plain[Length - 1] == expect;
}

bool ZipCheckHeader(TZipKeys& Keys, uint8_t* Buffer, size_t Length, uint32_t Flags,
                    const std::string& Password, uint32_t FileTime, uint32_t Crc) {
    return ZipCheckHeader(Keys, Buffer + Length, Buffer, Length, Flags, Password, FileTime, Crc);
}

void ZipInitKeys(const std::string& Password) {
    ZipKeys().Init(Password);
}
void ZipUpdateKeys(uint8_t Byte) {
    ZipKeys().Update(Byte);
}
uint8_t ZipStreamByte() {
    return ZipKeys().StreamByte();
}
uint8_t ZipEncryptByte(uint8_t Plain) {
    return ZipKeys().EncryptByte(Plain);
}
uint8_t ZipDecryptByte(uint8_t Cipher) {
    return ZipKeys().DecryptByte(Cipher);
}
TZipCryptHeader ZipMakeHeader(const std::string& Password, uint32_t Check) {
    return ZipMakeHeader(ZipKeys(), Password, Check);
}
bool ZipCheckHeader(uint8_t* Buffer, size_t Length, uint32_t Flags, const std::string& Password,
                    uint32_t FileTime, uint32_t Crc) {
    return ZipCheckHeader(ZipKeys(), Buffer, Length, Flags, Password, FileTime, Crc);
}
