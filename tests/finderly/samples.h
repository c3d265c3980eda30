#pragma once

// Answers and description documents captured from real devices
// (tests/data/ssdp-responses and tests/data/descriptions), with what SSDP
// discovery must take from each: the location of an answer, split at CR LF
// with the header name in any case and the value trimmed, and the text
// between the first <friendlyName> and the first </friendlyName> of a
// description, verbatim.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace Samples {

struct Answer
{
    const char *file;
    const char *location;
};

inline const Answer answers[] = {
    {"camera-axis-m1014-libupnp-single-crlf-end.txt", "http://192.168.1.102:45895/rootdesc1.xml"},
    {"camera-dahua-upnp-sdk-reconstructed-from-dict.txt",
     "http://192.168.1.20:49152/upnp_device_desc.xml"},
    {"hub-logitech-harmony-16.3-no-final-blank-line.txt",
     "http://192.168.107.148:8088/description"},
    {"renderer-cyberlinkjava-location-last-mixed-case.txt",
     "http://192.168.1.103:4004/description.xml"},
    {"router-avm-fritzbox-7590ax-wanipconn2.txt", "http://192.168.188.1:49000/igd2desc.xml"},
    {"router-cisco-cga4131com.txt", "http://10.1.10.1:49152/IGDdevicedesc_brlan0.xml"},
    {"router-ddwrt-tplink-tl-wr841nd.txt", "http://192.168.1.1:1780/InternetGatewayDevice.xml"},
    {"router-dlink-dir-890l-1.txt", "http://10.0.0.1:49152/InternetGatewayDevice.xml"},
    {"router-dlink-dir-890l-2.txt", "http://10.0.0.1:49152/InternetGatewayDevice.xml"},
    {"router-huawei-atp-igd-1-uuid.txt",
     "http://192.168.8.1:37215/0d873853-db11-da33-8dd7-22b822ae4b71/upnpdev.xml"},
    {"router-huawei-atp-igd-2-wanconnectiondevice.txt",
     "http://192.168.8.1:37215/0d873853-db11-da33-8dd7-22b822ae4b71/upnpdev.xml"},
    {"router-mikrotik-routeros-6.36.txt", "http://192.168.88.1:2828/gateway.xml"},
    {"router-miniupnpd-1.6-sdk4.3-1-rootdesc.txt", "http://192.168.1.1:5000/rootDesc.xml"},
    {"router-miniupnpd-1.6-sdk4.3-2-wps-wfadevicedesc.txt",
     "http://192.168.1.1:8888/WFADeviceDesc.xml"},
    {"router-miniupnpd-1.8-9x45-mobileap.txt", "http://192.168.128.1:43412/rootDesc.xml"},
    {"router-thomson-speedtouch-510-no-space-after-colon.txt", "http://10.0.0.138:80/IGD.xml"},
    {"router-tplink-tl-r605-ip-redacted-port1900.txt",
     "http://xxx.xxx.xxx.xxx:1900/igd1617652855214343.xml"},
    {"router-upnp-device-host-rootdevice-xml.txt", "http://192.168.1.1:80/RootDevice.xml"},
    {"smartplug-belkin-wemo-1-basicevent-single-crlf-end.txt",
     "http://192.168.1.100:49158/setup.xml"},
    {"smartplug-belkin-wemo-2-rootdevice-single-crlf-end.txt",
     "http://192.168.1.100:49158/setup.xml"},
    {"speaker-sonos-zps17-contentdirectory.txt",
     "http://192.168.1.158:1400/xml/device_description.xml"},
    {"stb-roku-ecp-doc-example.txt", "http://192.168.1.134:8060/"},
    {"tv-lg-webos4-1-rootdevice.txt", "http://192.168.8.170:1760/"},
    {"tv-lg-webos4-2-uuid.txt", "http://192.168.8.170:1760/"},
    {"tv-lg-webos4-3-urn-lge-tv.txt", "http://192.168.8.170:1760/"},
    {"tv-samsung-tizen-1-screen-sharing-9119.txt", "http://192.168.1.20:9119/screen_sharing"},
    {"windows-pnrp-location-not-a-url-no-blank-line.txt", "192.168.1.1"},
};

struct Description
{
    const char *file;
    const char *friendlyName;
};

inline const Description descriptions[] = {
    {"av-lg-ht-dmr-6945-trailing-garbage.xml", "LG HT DMR-6945"},
    {"avr-denon-avr-x1600h-no-xmldecl.xml", "Denon AVR-X1600H"},
    {"bridge-philips-hue-2012.xml", "Philips hue (192.168.0.21)"},
    {"camera-axis-m1014-rootdesc1.xml", "AXIS M1014 - ACCC8E270AD8"},
    {"camera-axis-p3301-service-default-ns.xml", "AXIS P3301 - 00408CA45086"},
    {"dac-ps-audio-perfectwave-long-lines.xml", "PerfectWave DAC010B7D"},
    {"mediaserver-makemkv-brackets.xml", "MakeMKV [MARKUS-PC]"},
    {"mediaserver-plutinosoft-wmp-streamer-ipad.xml", "Windows Media Player Streamer: iPad (iPad)"},
    {"mediaserver-ps3mediaserver-leading-comment.xml",
     "PS3 Media Server [Eddie-PC] : Windows Media Connect"},
    {"mediaserver-ushare-undeclared-dlna-prefix.xml", "uShare: 1"},
    {"router-actiontec-gt784wn.xml", "Actiontec GT784WN"},
    {"router-cisco-cga4131com.xml", "CGA4131COM"},
    {"router-ddwrt-tplink-tl-wr841nd.xml", "TP-Link TL-WR841ND v9:DD-WRT"},
    {"router-ddwrt-v24-generic-x86.xml", "DD-WRT Router (192.168.1.1)"},
    {"router-dlink-dir-890l.xml", "Wireless Broadband Router"},
    {"router-linksys-wag200g.xml", "LINKSYS WAG200G Gateway"},
    {"router-mikrotik-routeros-gateway.xml", "MikroTik Router"},
    {"router-miniupnpd-1.8-9x45-mobileap.xml", "9x45 MobileAP UPnP"},
    {"router-netgear-dgnd3700-readydlna-raw-ampersand.xml", "R&N:DGND3700"},
    {"router-orange-livebox-crlf.xml", "Orange Livebox"},
    {"smartplug-belkin-wemo-dimmer-v2-rtos.xml", "WeMo Device"},
    {"smartplug-belkin-wemo-lightswitch-owrt.xml", "WeMo Device"},
    {"speaker-sonos-play1-s12-browser-copy.xml", "192.168.178.43 - Sonos PLAY:1"},
    {"stb-zyxel-miviewtv-no-xmldecl.xml", "MiViewTV STB 10.133.86.154"},
    {"tuner-ceton-infinitv-pcie-large.xml", "Ceton InfiniTV PCIe (00-80-21-f7)"},
    {"tuner-elgato-eyetv-netstream-sat.xml", "EyeTV Netstream Sat #04010173"},
    {"tv-samsung-ocap-host-dms.xml", "Samsung OCAP_HOST DMS"},
    {"tv-samsung-ue50nu7472-undeclared-prefixes.xml", "[TV] Samsung 7 Series (50)"},
};

// Answers that point at one of the descriptions, as the same device sent them.
struct Pair
{
    const char *answer;
    const char *description;
};

inline const Pair pairs[] = {
    {"router-mikrotik-routeros-6.36.txt", "router-mikrotik-routeros-gateway.xml"},
    {"router-cisco-cga4131com.txt", "router-cisco-cga4131com.xml"},
    {"router-dlink-dir-890l-1.txt", "router-dlink-dir-890l.xml"},
    {"router-dlink-dir-890l-2.txt", "router-dlink-dir-890l.xml"},
    {"router-miniupnpd-1.8-9x45-mobileap.txt", "router-miniupnpd-1.8-9x45-mobileap.xml"},
    {"router-ddwrt-tplink-tl-wr841nd.txt", "router-ddwrt-tplink-tl-wr841nd.xml"},
    {"camera-axis-m1014-libupnp-single-crlf-end.txt", "camera-axis-m1014-rootdesc1.xml"},
};

inline QString answerPath(const char *file)
{
    return QStringLiteral(TEST_DATA_DIR "/ssdp-responses/") + QLatin1String(file);
}

inline QString descriptionPath(const char *file)
{
    return QStringLiteral(TEST_DATA_DIR "/descriptions/") + QLatin1String(file);
}

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline const char *friendlyNameOf(const char *description)
{
    for (const Description &d : descriptions) {
        if (qstrcmp(d.file, description) == 0)
            return d.friendlyName;
    }
    return nullptr;
}

} // namespace Samples
