import QtQuick
import QtQuick.Window
import QtQuick.Controls 2.15
import Qt.labs.qmlmodels 1.0
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import FinderlyQml

// The whole user interface: a Rescan button, the table of devices found and a
// footer. It drives its back end by polling, on one 500 ms timer.
ApplicationWindow {
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

    BackEnd {
        id: backend
    }

    header: ToolBar {
        RowLayout {
            anchors.fill: parent

            ToolButton {
                id: btnRescan
                text: qsTr("Rescan")
                enabled: false
                onClicked: {
                    tableModel.clear()
                    backend.onBtnRescan()
                    btnRescan.enabled = false
                    btnRescanDisableTimer = 0
                }
            }
        }
    }

    StackLayout {
        anchors.fill: parent

        Rectangle {
            id: mainrect
            color: "white"

            TableView {
                width: mainrect.width
                height: mainrect.height - 20
                columnSpacing: 2
                rowSpacing: 2
                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AlwaysOn
                }

                model: TableModel {
                    id: tableModel
                    TableModelColumn {
                        display: "name"
                    }
                    TableModelColumn {
                        display: "url"
                    }
                }

                delegate: TextArea {
                    text: model.column === 0 ? nameMarkup(model.display)
                                             : linkMarkup(model.display)
                    textFormat: Text.RichText
                    readOnly: true
                    padding: 12
                    // The address itself: rich text keeps character
                    // references in attributes undecoded, so the escaped
                    // href is not the address.
                    onLinkActivated: openLink(model.display)
                    onTextChanged: {
                        if (model.column === 0) {
                            if (contentWidth > minColWidth1)
                                minColWidth1 = contentWidth
                            implicitWidth = minColWidth1 + 32
                        } else {
                            if (contentWidth > minColWidth2)
                                minColWidth2 = contentWidth
                            implicitWidth = minColWidth2 + 32
                        }
                    }

                    LinkPointer {}

                    Rectangle {
                        anchors.fill: parent
                        color: "#efefef"
                        z: -1
                    }
                }
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

        LinkPointer {}
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
            txtAppInfo.text = footerText(backend.appVersion)
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
    }

    function footerText(version) {
        const site = "https://www.morvessa.example/"
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

    // Web pages only: a device must not make a click open a local file, a file
    // share or another program.
    function openLink(link) {
        if (/^https?:\/\//i.test(link))
            Qt.openUrlExternally(link)
    }
}
