import QtQuick
import QtQuick.Controls
import Vistrel

// A menu of the menu bar: its items show their keys, and it is as wide as
// its widest item.
Menu {
    // Declared, not bound: a menu makes its items as it is built.
    delegate: MenuEntry {}
    width: {
        let widest = 0;
        for (let i = 0; i < count; ++i)
            widest = Math.max(widest, itemAt(i) ? itemAt(i).implicitWidth : 0);
        return Math.max(implicitWidth, widest + leftPadding + rightPadding);
    }
}
