#include "app/clients/sync/AppleMailSignatureFile.h"

#include <QList>

namespace quillet {

QString SevenBitHtml(const QString& html) {
    QString result;
    result.reserve(html.size());
    for (const uint codePoint : html.toUcs4()) {
        if (codePoint < 0x80)
            result += QChar(static_cast<char16_t>(codePoint));
        else
            result += "&#" + QString::number(codePoint) + ";";
    }
    return result;
}

QByteArray AppleMailSignatureFileContents(const QString& uuidText, const QString& mailShortVersion,
                                          const QString& mailBuildVersion, const QString& html) {
    const QString text =
        "Content-Transfer-Encoding: 7bit\nContent-Type: text/html;\n"
        "charset=us-ascii\n"
        "Message-Id: <" +
        uuidText + "@localdomain>\nMime-Version: 1.0 (Mac OS X Mail " + mailShortVersion + " \\(" +
        mailBuildVersion + "\\))\n\n" + SevenBitHtml(html);
    return text.toUtf8();
}

}  // namespace quillet
