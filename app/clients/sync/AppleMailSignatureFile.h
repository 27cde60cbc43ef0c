#pragma once
// The text of an Apple Mail ".mailsignature" file: a MIME header and the signature's HTML.

#include <QByteArray>
#include <QString>

namespace quillet {

// The HTML with every character outside ASCII written as a numeric character reference
// ("&#233;", "&#128512;"), so that a file whose header declares 7-bit us-ascii says the truth.
QString SevenBitHtml(const QString& html);

// The whole file: header (with Apple Mail's short version and its build between backslashed
// parentheses, as Mail writes it), a blank line, and the HTML in seven bits.
QByteArray AppleMailSignatureFileContents(const QString& uuidText, const QString& mailShortVersion,
                                          const QString& mailBuildVersion, const QString& html);

}  // namespace quillet
