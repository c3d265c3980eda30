import QtQuick
import QtQuick.Window
import QtQuick.Controls 2.15
import Qt.labs.qmlmodels 1.0
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import QtQml.Models
import FinderlyQml

// The whole user interface: a Rescan button, the search's status and a
// filter; the table of devices found, with column heads that sort it; and a
// footer. It drives its back end by polling, on one 500 ms timer.
//
// The keyboard goes Rescan, filter, table, footer link; in the table it
// moves a current row, which Enter opens and Ctrl+C copies. Screen readers
// see the table as a table of every device (DeviceTableAccessible).
ApplicationWindow {
    id: window

    width: 750
    height: 480
    visible: true
    title: qsTr("Finderly")

    // Ticks since the Rescan button was last disabled or re-enabled.
    property int btnRescanDisableTimer: 0
    property bool guiReady: false
    // Widest name and address seen so far: columns never shrink.
    property int minColWidth1: 200
    property int minColWidth2: 300
    // The search as the back end last told it, read on the tick.
    property int searchState: BackEnd.NotStarted
    property var searchNetworks: []
    property date searchEndedAt: new Date()
    // The rows in all and those the filter shows, counted once a tick: a
    // search brings thousands of rows at a time.
    property int rowsTotal: 0
    property int rowsShown: 0
    property string appVersion: ""
    // The cell whose text the mouse has selected, which Ctrl+C copies.
    property Item selectionCell: null
    readonly property string site: "https://www.morvessa.example/"
    readonly property color focusColor: "#2f6fd0"

    BackEnd {
        id: backend
    }

    // Screen readers list the window's parts in the order of its items, where
    // the footer comes first: it goes last, below the devices, as on screen.
    Component.onCompleted: {
        const root = txtAppInfo.parent
        txtAppInfo.parent = null
        txtAppInfo.parent = root
    }

    // The rows in their order of arrival; the table shows them through
    // deviceModel, sorted and filtered.
    TableModel {
        id: tableModel
        TableModelColumn {
            display: "name"
        }
        TableModelColumn {
            display: "url"
        }
    }

    DeviceModel {
        id: deviceModel
        sourceModel: tableModel
        filterText: filterField.text
    }

    ItemSelectionModel {
        id: selection
        model: deviceModel
    }

    header: ToolBar {
        RowLayout {
            anchors.fill: parent

            ToolButton {
                id: btnRescan
                text: qsTr("Rescan")
                enabled: false
                onClicked: rescan()
                Keys.onReturnPressed: rescan()
                Keys.onEnterPressed: rescan()
                Accessible.name: text
                Accessible.onPressAction: rescan()
                KeyNavigation.tab: filterField
                KeyNavigation.backtab: txtAppInfo
            }

            Label {
                id: statusLine
                objectName: "status"
                Layout.fillWidth: true
                leftPadding: 6
                text: statusText(searchState, searchNetworks, rowsTotal, rowsShown,
                                 filterField.text !== "", searchEndedAt)
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            TextField {
                id: filterField
                Layout.preferredWidth: 180
                Layout.rightMargin: 6
                placeholderText: qsTr("Filter")
                selectByMouse: true
                Accessible.name: qsTr("Filter")
                Accessible.searchEdit: true
                Keys.onEscapePressed: clear()
                Keys.onDownPressed: table.forceActiveFocus()
                KeyNavigation.tab: table
                KeyNavigation.backtab: btnRescan
            }
        }
    }

    StackLayout {
        anchors.fill: parent

        Rectangle {
            id: mainrect
            color: "white"

            HorizontalHeaderView {
                id: heads
                syncView: table
                width: mainrect.width
                clip: true

                delegate: Rectangle {
                    id: head

                    required property int column
                    required property string display
                    readonly property bool sorted: deviceModel.sortColumn === column
                    readonly property bool ascending: deviceModel.sortOrder === Qt.AscendingOrder

                    implicitWidth: headText.implicitWidth + 12
                    implicitHeight: headText.implicitHeight + 12
                    color: "#dedede"
                    Accessible.role: Accessible.ColumnHeader
                    Accessible.name: display
                    Accessible.description: !sorted ? ""
                                        : ascending ? qsTr("Sorted ascending") : qsTr("Sorted descending")
                    Accessible.onPressAction: deviceModel.sortBy(column)

                    Label {
                        id: headText
                        anchors.verticalCenter: parent.verticalCenter
                        leftPadding: 12
                        font.bold: true
                        text: head.display + (!head.sorted ? "" : head.ascending ? "  \u25B2" : "  \u25BC")
                    }

                    TapHandler {
                        onTapped: deviceModel.sortBy(head.column)
                    }
                }
            }

            TableView {
                id: table

                anchors.top: heads.bottom
                width: mainrect.width
                height: mainrect.height - heads.height - 20
                columnSpacing: 2
                rowSpacing: 2
                clip: true
                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AlwaysOn
                }

                // The row that the keyboard acts on. The selection model keeps
                // it on its device through sorts and filters, but says so only
                // when the current device changes.
                property int currentDeviceRow: -1

                model: deviceModel
                selectionModel: selection
                // The window moves the current row itself, by rows alone.
                keyNavigationEnabled: false
                pointerNavigationEnabled: false
                activeFocusOnTab: true
                Accessible.role: Accessible.Table
                Accessible.name: qsTr("Devices")
                KeyNavigation.tab: txtAppInfo
                KeyNavigation.backtab: filterField

                onActiveFocusChanged: {
                    if (activeFocus && currentDeviceRow < 0 && deviceModel.count > 0)
                        setCurrentRow(0)
                }
                onCurrentDeviceRowChanged: {
                    if (currentDeviceRow >= 0)
                        positionViewAtRow(currentDeviceRow, TableView.Contain)
                }

                Connections {
                    target: selection
                    function onCurrentChanged() {
                        table.followCurrentRow()
                    }
                }
                Connections {
                    target: deviceModel
                    function onFilterTextChanged() {
                        recount()
                    }
                    function onLayoutChanged() {
                        recount()
                    }
                }

                function followCurrentRow() {
                    currentDeviceRow = selection.currentIndex.valid ? selection.currentIndex.row : -1
                }
                Keys.onPressed: event => tableKey(event)

                delegate: TextArea {
                    id: cell

                    required property int row
                    required property int column
                    required property string display
                    required property string toolTip
                    readonly property bool current: row === table.currentDeviceRow

                    text: column === 0 ? nameMarkup(display) : linkMarkup(display)
                    textFormat: Text.RichText
                    readOnly: true
                    padding: 12
                    selectByMouse: true
                    persistentSelection: true
                    // The table keeps the keyboard; a cell only shows its text.
                    activeFocusOnPress: false
                    activeFocusOnTab: false
                    Accessible.ignored: true
                    ToolTip.text: toolTip
                    ToolTip.visible: column === 1 && toolTip !== "" && hovered
                    ToolTip.delay: 500
                    // The address itself: rich text keeps character
                    // references in attributes undecoded, so the escaped
                    // href is not the address.
                    onLinkActivated: openLink(display)
                    onTextChanged: {
                        if (column === 0) {
                            if (contentWidth > minColWidth1)
                                minColWidth1 = contentWidth
                            implicitWidth = minColWidth1 + 32
                        } else {
                            if (contentWidth > minColWidth2)
                                minColWidth2 = contentWidth
                            implicitWidth = minColWidth2 + 32
                        }
                    }
                    onSelectedTextChanged: {
                        if (selectedText !== "") {
                            if (selectionCell && selectionCell !== cell)
                                selectionCell.deselect()
                            selectionCell = cell
                        } else if (selectionCell === cell) {
                            selectionCell = null
                        }
                    }

                    LinkPointer {}

                    TapHandler {
                        onTapped: {
                            setCurrentRow(cell.row)
                            table.forceActiveFocus()
                        }
                    }

                    TapHandler {
                        acceptedButtons: Qt.RightButton
                        onTapped: eventPoint => {
                            setCurrentRow(cell.row)
                            table.forceActiveFocus()
                            openMenu(cell, eventPoint.position.x, eventPoint.position.y)
                        }
                    }

                    // The device's page cannot open from this computer.
                    Label {
                        anchors.right: parent.right
                        anchors.rightMargin: 4
                        anchors.verticalCenter: parent.verticalCenter
                        visible: cell.column === 1 && cell.toolTip !== ""
                        text: "\u26A0"
                        color: "#b35c00"
                    }

                    Rectangle {
                        anchors.fill: parent
                        color: !cell.current ? "#efefef" : table.activeFocus ? "#d4e4fa" : "#dcdcdc"
                        border.width: cell.current && table.activeFocus ? 2 : 0
                        border.color: focusColor
                        z: -1
                    }
                }
            }

            // Where the keyboard is when it is in the table.
            Rectangle {
                x: table.x
                y: table.y
                width: table.width
                height: table.height
                color: "transparent"
                border.width: 1
                border.color: focusColor
                visible: table.activeFocus
            }
        }
    }

    footer: Text {
        id: txtAppInfo
        height: 30
        text: footerText("")
        textFormat: Text.StyledText
        verticalAlignment: Text.AlignVCenter
        onLinkActivated: link => openLink(link)
        activeFocusOnTab: true
        Keys.onReturnPressed: openLink(site)
        Keys.onEnterPressed: openLink(site)
        KeyNavigation.tab: btnRescan
        KeyNavigation.backtab: table
        Accessible.role: Accessible.Link
        Accessible.name: qsTr("Finderly %1, %2").arg(appVersion).arg(site)
        Accessible.onPressAction: openLink(site)

        LinkPointer {}

        Rectangle {
            anchors.fill: parent
            color: "transparent"
            border.width: 2
            border.color: focusColor
            visible: txtAppInfo.activeFocus
        }
    }

    Menu {
        id: deviceMenu

        property int row: -1

        MenuItem {
            text: qsTr("Open")
            enabled: Desktop.isWebLink(addressAt(deviceMenu.row))
            onTriggered: openLink(addressAt(deviceMenu.row))
        }
        MenuItem {
            text: qsTr("Copy address")
            onTriggered: Desktop.copy(addressAt(deviceMenu.row))
        }
        MenuItem {
            text: qsTr("Copy name")
            onTriggered: Desktop.copy(deviceModel.data(deviceModel.index(deviceMenu.row, 0),
                                                       Qt.AccessibleTextRole))
        }
        MenuSeparator {}
        MenuItem {
            text: qsTr("Sort by name")
            onTriggered: deviceModel.sortBy(0)
        }
        MenuItem {
            text: qsTr("Sort by address")
            onTriggered: deviceModel.sortBy(1)
        }
    }

    Shortcut {
        sequences: ["F5", "Ctrl+R"]
        enabled: btnRescan.enabled
        onActivated: rescan()
    }

    Shortcut {
        sequence: StandardKey.Find
        onActivated: {
            filterField.forceActiveFocus()
            filterField.selectAll()
        }
    }

    Timer {
        interval: 500
        running: true
        repeat: true
        onTriggered: doTimer()
    }

    // Over a text item: a pointing hand while over a link. It takes no button,
    // so that clicks reach the text below.
    component LinkPointer: MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        cursorShape: parent.hoveredLink ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    function doTimer() {
        if (guiReady === false) {
            guiReady = true
            // Replaces the footer's binding for good: the version has no change signal.
            appVersion = backend.appVersion
            txtAppInfo.text = footerText(appVersion)
            backend.onBtnRescan()
        }
        btnRescanDisableTimer += 1
        if (btnRescanDisableTimer >= 5) {
            btnRescan.enabled = true
            btnRescanDisableTimer = 0
        }
        let device = backend.getDevice()
        while (device.length === 2) {
            tableModel.appendRow({ "name": device[0], "url": device[1] })
            device = backend.getDevice()
        }
        recount()
        readSearch()
    }

    function recount() {
        rowsTotal = tableModel.rowCount
        rowsShown = deviceModel.count
        table.followCurrentRow()
    }

    function rescan() {
        if (!btnRescan.enabled)
            return
        // The button is about to be disabled: the keyboard goes where the
        // devices will be.
        const fromButton = btnRescan.activeFocus
        tableModel.clear()
        backend.onBtnRescan()
        btnRescan.enabled = false
        btnRescanDisableTimer = 0
        recount()
        if (fromButton)
            table.forceActiveFocus()
        readSearch()
    }

    // Takes the search's state from the back end; says when it has ended.
    function readSearch() {
        if (String(backend.networks) !== String(searchNetworks)) {
            searchNetworks = backend.networks
            deviceModel.networks = searchNetworks
        }
        const state = backend.searchState
        if (state === searchState)
            return
        if (state === BackEnd.Ended)
            searchEndedAt = new Date()
        searchState = state
        if (state === BackEnd.Ended || state === BackEnd.NoNetwork)
            Desktop.announce(statusLine, statusLine.text)
    }

    function devicesText(count) {
        return count === 1 ? qsTr("1 device") : qsTr("%1 devices").arg(count)
    }

    function networksText(count) {
        return count === 1 ? qsTr("1 network") : qsTr("%1 networks").arg(count)
    }

    function statusText(state, networks, total, shown, filtered, endedAt) {
        const devices = filtered ? qsTr("%1 of %2").arg(shown).arg(devicesText(total))
                                 : devicesText(total)
        switch (state) {
        case BackEnd.Searching:
            return qsTr("Searching %1… %2").arg(networksText(networks.length)).arg(devices)
        case BackEnd.Ended:
            if (total === 0) {
                return qsTr("No device answered on %1 (%2). A firewall may be blocking the answers.")
                    .arg(networksText(networks.length)).arg(networks.join(", "))
            }
            return qsTr("%1 on %2 · %3").arg(devices).arg(networksText(networks.length))
                .arg(endedAt.toLocaleTimeString(Qt.locale(), shortTime()))
        case BackEnd.NoNetwork:
            return qsTr("No IPv4 network. Connect to the device network, then press Rescan.")
        default:
            return ""
        }
    }

    // The hour and minute as the locale writes them; the C locale's short
    // format has seconds too.
    function shortTime() {
        return Qt.locale().timeFormat(Locale.ShortFormat).replace(/[:.]ss/, "")
    }

    function setCurrentRow(row) {
        if (selectionCell) {
            selectionCell.deselect()
            selectionCell = null
        }
        selection.setCurrentIndex(deviceModel.index(row, 0), ItemSelectionModel.NoUpdate)
    }

    function addressAt(row) {
        return row >= 0 && row < deviceModel.count ? deviceModel.data(deviceModel.index(row, 1)) : ""
    }

    function openMenu(item, x, y) {
        deviceMenu.row = table.currentDeviceRow
        deviceMenu.popup(item, x, y)
    }

    function tableKey(event) {
        const count = deviceModel.count
        const current = table.currentDeviceRow
        const page = Math.max(1, table.bottomRow - table.topRow)
        let row = current
        switch (event.key) {
        case Qt.Key_Up:
            row = current - 1
            break
        case Qt.Key_Down:
            row = current + 1
            break
        case Qt.Key_PageUp:
            row = current - page
            break
        case Qt.Key_PageDown:
            row = Math.max(current, 0) + page
            break
        case Qt.Key_Home:
            row = 0
            break
        case Qt.Key_End:
            row = count - 1
            break
        case Qt.Key_Return:
        case Qt.Key_Enter:
            openLink(addressAt(current))
            event.accepted = true
            return
        case Qt.Key_Menu:
        case Qt.Key_F10:
            if (event.key === Qt.Key_F10 && !(event.modifiers & Qt.ShiftModifier))
                return
            event.accepted = true
            if (current >= 0) {
                const item = table.itemAtCell(Qt.point(0, current))
                if (item)
                    openMenu(item, 12, item.height / 2)
            }
            return
        default:
            if (event.matches(StandardKey.Copy)) {
                event.accepted = true
                if (selectionCell && selectionCell.selectedText !== "")
                    selectionCell.copy()
                else if (current >= 0)
                    Desktop.copy(addressAt(current))
            }
            return
        }
        event.accepted = true
        if (count > 0)
            setCurrentRow(Math.max(0, Math.min(count - 1, row)))
    }

    function footerText(version) {
        return "&nbsp; Finderly " + version + " &nbsp; <a href='" + site + "'>" + site + "</a>"
    }

    // Names and addresses come from any host on the network and are shown as
    // rich text, so markup in them is escaped: a device can neither load an
    // image into the window nor show a link that leads elsewhere. A name keeps
    // its "&", so that an entity such as "&amp;" in an SSDP friendlyName shows
    // as its character.
    function nameMarkup(name) {
        return name.replace(/</g, "&lt;").replace(/>/g, "&gt;")
    }

    // The address as a link, its text shown exactly as sent.
    function linkMarkup(address) {
        const text = address.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                            .replace(/'/g, "&#39;").replace(/"/g, "&quot;")
        return "<a href='" + text + "'>" + text + "</a>"
    }

    // Web pages only (Desktop.openWebLink).
    function openLink(link) {
        Desktop.openWebLink(link)
    }
}
