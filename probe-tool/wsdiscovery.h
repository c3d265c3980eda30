// gSOAP definitions of the client binding: WS-Discovery 2005/04 over
// WS-Addressing 2004/08, with WS-Security, as SOAP 1.2. soapcpp2 turns this
// into the wsddProxy class and the namespace table at build time.
//
// WS-Security comes first so that its namespaces lead the table and the
// discovery namespaces (wsa, wsdd, tdn) close it.

// clang-format off

#import "wsse.h"
#import "wsdd10.h"

//gsoap tdn schema namespace: http://www.onvif.org/ver10/network/wsdl
// A type in tdn puts the ONVIF network namespace into the table, so that a
// Types value such as tdn:NetworkVideoTransmitter resolves.
typedef char *tdn__NetworkVideoTransmitter;
