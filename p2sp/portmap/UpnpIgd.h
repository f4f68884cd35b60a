// The texts of UPnP IGD port mapping: the SSDP search and its answers, the
// router's device description, and the WANIPConnection (or
// WANPPPConnection) actions as SOAP requests and answers. Plain string work
// on bounded inputs, no platform code; every field the router sends is
// checked before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kUpnpDocumentMax = 64 * 1024;  // a description or an answer

// An http:// URL with a dotted IPv4 host, as routers give.
struct IgdUrl {
    uint32_t ipv4 = 0;  // host order
    uint16_t port = 80;
    std::string path = "/";
};
bool ParseIgdUrl(const std::string& text, IgdUrl* url);

std::string SsdpSearch();
// The LOCATION of an answer to the search that names an IGD device or its
// connection service.
bool ParseSsdpAnswer(const std::string& answer, IgdUrl* location);

// The connection service of a device description: its type and the URL of
// its control point (relative ones resolved against `location`).
struct IgdService {
    std::string type;
    IgdUrl control;
};
bool FindConnectionService(const std::string& description, const IgdUrl& location, IgdService* service);

// One SOAP action: the body and the SOAPAction header value.
struct SoapCall {
    std::string action;
    std::string body;
};
// TCP mappings, or UDP ones with `udp`.
SoapCall AddPortMappingCall(const std::string& serviceType, uint16_t externalPort, uint16_t internalPort,
                            uint32_t internalClientIpv4, uint32_t leaseSeconds, bool udp = false);
SoapCall DeletePortMappingCall(const std::string& serviceType, uint16_t externalPort, bool udp = false);
SoapCall ExternalAddressCall(const std::string& serviceType);

// The UPnP error code of a fault answer, 0 when the answer holds none.
int SoapErrorCode(const std::string& answer);
// The address in an answer to ExternalAddressCall; false when it holds none.
bool ParseExternalAddress(const std::string& answer, uint32_t* ipv4);
// The full HTTP request for a call to `control`.
std::string SoapRequest(const IgdService& service, const SoapCall& call);
// An HTTP request for a description.
std::string DescriptionRequest(const IgdUrl& location);
// The status and body of a whole HTTP/1.x answer read until the server
// closed; false when it is not one (a length that does not match, chunks
// cut short).
bool SplitHttpAnswer(const std::string& raw, int* status, std::string* body);
bool ParseDottedIpv4(const std::string& text, uint32_t* ipv4);
std::string DottedIpv4(uint32_t ipv4);
