#include "icons.h"

using namespace Qt::StringLiterals;

QIcon mainIcon() {
    QIcon icon(u":/icons/tamblor-32.png"_s);
    icon.addFile(u":/icons/tamblor-8bit.png"_s);
    return icon;
}

QIcon dialogIcon() {
    QIcon icon;
    for (int size : {72, 64, 48, 32, 16})
        icon.addFile(u":/icons/dialog-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}
