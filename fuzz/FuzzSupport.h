#pragma once
// What the fuzz targets share. Each target defines the entry point that libFuzzer calls with one
// input; built without libFuzzer, FuzzReplay.cpp calls it with every file of the committed
// corpus, so the corpus runs as a regression test. A target checks the promises its parsers'
// headers make and stops the run (abort) when one is broken.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quillet::fuzz {

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline QString Text(const std::uint8_t* data, std::size_t size) {
    return QString::fromUtf8(Bytes(data, size));
}

// An input that carries several texts holds them between record separators (0x1E), so that the
// corpus files stay readable.
inline QList<QByteArray> Parts(const std::uint8_t* data, std::size_t size) {
    return Bytes(data, size).split('\x1e');
}

}  // namespace quillet::fuzz

#define QUILLET_FUZZ_CHECK(condition)                                                          \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
