// prefs.js as Thunderbird or Postbox leave it: the file split into lines, every line parsed, the
// string value of every key found read back, and the input's text written as a value and read
// again unchanged.

#include "app/clients/PrefsFile.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::Bytes(data, size);
    const auto lines = SplitPrefsFileText(bytes);
    if (lines) {
        std::set<QString> keys;
        for (const QString& line : *lines) {
            QUILLET_FUZZ_CHECK(!line.contains('\n') && !line.contains('\r'));
            const auto parsed = ParsePrefsLine(line);
            if (!parsed)
                continue;
            QUILLET_FUZZ_CHECK(!parsed->key.isEmpty() && parsed->key == parsed->key.trimmed());
            QUILLET_FUZZ_CHECK(!parsed->rawValue.isEmpty() &&
                               parsed->rawValue == parsed->rawValue.trimmed());
            keys.insert(parsed->key);
        }
        for (const QString& key : keys)
            GetPrefsStringValue(*lines, key);
        const QStringList removed = RemovePrefsLines(*lines, keys);
        for (const QString& line : removed)
            QUILLET_FUZZ_CHECK(!ParsePrefsLine(line) || !keys.contains(ParsePrefsLine(line)->key));
    }

    // Whatever text Quillet writes as a value reads back as that text, beside whatever lines the
    // file already has.
    const QString text = QString::fromUtf8(bytes);
    const QString key = QStringLiteral("mail.identity.id1.htmlSigText");
    const QStringList written = SetPrefsLines(lines.value_or(QStringList()),
                                              {{key, PrefsStringRawValue(text), "mail.identity."}});
    QUILLET_FUZZ_CHECK(GetPrefsStringValue(written, key) == text);
    QUILLET_FUZZ_CHECK(UnescapePrefsString(PrefsStringRawValue(text).mid(1).chopped(1)) == text);
    return 0;
}
