#include "common/SignatureFields.h"

#include "common/Text.h"

namespace quillet {

QStringList DescribeSourceFields(const SignatureFields& s) {
    QStringList items;
    if (!s.fileNameQe.isEmpty())
        items << "file name: " + s.fileNameQe;
    if (!s.filePathQe.isEmpty())
        items << "file path: " + s.filePathQe;
    if (!s.keyQe.isEmpty())
        items << "key: " + s.keyQe;
    if (!s.localTextQe.isEmpty())
        items << "local text: length " + QString::number(CharacterCount(s.localTextQe));
    if (s.lastUpdateUnixTimeQz != 0)
        items << "last update Unix time: " + QString::number(s.lastUpdateUnixTimeQz);
    if (!s.mainTextQe.isEmpty())
        items << "main text: length " + QString::number(CharacterCount(s.mainTextQe));
    if (!s.nameQe.isEmpty())
        items << "name: " + s.nameQe;
    return items;
}

}  // namespace quillet
