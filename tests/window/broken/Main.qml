import QtQuick
import FinderlyQml
// Cannot be resolved when the program runs: the window fails to load.
import Finderly.NoSuchModule

Window {
    BackEnd {}
}
