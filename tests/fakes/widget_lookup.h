// Finding a dialog's widgets by object name in the window tests.
#pragma once

#include <QString>
#include <QWidget>
#include <QtGlobal>

namespace tessvale::test {

// The child of that name; the test ends when there is none.
template <typename T> T* Child(QWidget* parent, const char* name)
{
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("missing widget %s", name);
    }
    return child;
}

} // namespace tessvale::test
