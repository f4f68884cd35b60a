#include "p2sp/portmap/UpnpIgd.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

const char* const kConnectionTypes[] = {
    "urn:schemas-upnp-org:service:WANIPConnection:2",
    "urn:schemas-upnp-org:service:WANIPConnection:1",
    "urn:schemas-upnp-org:service:WANPPPConnection:1",
};

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// The text of the first <name> element (any namespace prefix) in [from, to).
bool ElementText(const std::string& xml, const std::string& name, size_t from, size_t to, std::string* text,
                 size_t* end = nullptr) {
    size_t at = from;
    while (at < to) {
        const size_t open = xml.find('<', at);
        if (open == std::string::npos || open >= to) return false;
        const size_t close = xml.find('>', open);
        if (close == std::string::npos || close >= to) return false;
        std::string tag = xml.substr(open + 1, close - open - 1);
        const size_t colon = tag.find(':');
        if (colon != std::string::npos) tag = tag.substr(colon + 1);
        if (tag == name) {
            const size_t stop = xml.find("</", close);
            if (stop == std::string::npos || stop >= to) return false;
            *text = Trim(xml.substr(close + 1, stop - close - 1));
            if (end) *end = stop;
            return true;
        }
        at = close + 1;
    }
    return false;
}

std::string Argument(const char* name, const std::string& value) {
    return std::string("<") + name + ">" + value + "</" + name + ">";
}

SoapCall Call(const std::string& serviceType, const char* action, const std::string& arguments) {
    SoapCall call;
    call.action = serviceType + "#" + action;
    call.body = "<?xml version=\"1.0\"?>\r\n"
                "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
                "<u:" + std::string(action) + " xmlns:u=\"" + serviceType + "\">" + arguments +
                "</u:" + action + "></s:Body></s:Envelope>\r\n";
    return call;
}

std::string HostHeader(const IgdUrl& url) { return DottedIpv4(url.ipv4) + ":" + std::to_string(url.port); }

}  // namespace

bool ParseDottedIpv4(const std::string& text, uint32_t* ipv4) {
    uint32_t value = 0;
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t part = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && digits < 3) {
            part = part * 10 + uint32_t(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || part > 255) return false;
        value = value << 8 | part;
        if (++parts < 4) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    if (at != text.size()) return false;
    *ipv4 = value;
    return true;
}

std::string DottedIpv4(uint32_t ipv4) {
    return std::to_string(ipv4 >> 24) + "." + std::to_string((ipv4 >> 16) & 255) + "." +
           std::to_string((ipv4 >> 8) & 255) + "." + std::to_string(ipv4 & 255);
}

bool ParseIgdUrl(const std::string& text, IgdUrl* url) {
    const std::string t = Trim(text);
    if (t.size() > 1024 || Lower(t.substr(0, 7)) != "http://") return false;
    const size_t slash = t.find('/', 7);
    const std::string authority = t.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    IgdUrl out;
    const size_t colon = authority.find(':');
    if (!ParseDottedIpv4(authority.substr(0, colon), &out.ipv4)) return false;
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit)) return false;
        const long p = std::strtol(port.c_str(), nullptr, 10);
        if (p < 1 || p > 65535) return false;
        out.port = uint16_t(p);
    }
    out.path = slash == std::string::npos ? "/" : t.substr(slash);
    for (char c : out.path)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return false;
    *url = out;
    return true;
}

std::string SsdpSearch() {
    return "M-SEARCH * HTTP/1.1\r\n"
           "HOST: 239.255.255.250:1900\r\n"
           "MAN: \"ssdp:discover\"\r\n"
           "MX: 2\r\n"
           "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
}

bool ParseSsdpAnswer(const std::string& answer, IgdUrl* location) {
    if (answer.size() > 4096 || answer.compare(0, 12, "HTTP/1.1 200") != 0) return false;
    std::string where, target;
    size_t at = answer.find("\r\n");
    while (at != std::string::npos && at + 2 < answer.size()) {
        const size_t next = answer.find("\r\n", at + 2);
        const std::string line = answer.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = Lower(Trim(line.substr(0, colon)));
            if (name == "location") where = Trim(line.substr(colon + 1));
            if (name == "st") target = Trim(line.substr(colon + 1));
        }
        at = next;
    }
    if (target.find("InternetGatewayDevice") == std::string::npos &&
        target.find("WANIPConnection") == std::string::npos && target.find("WANPPPConnection") == std::string::npos)
        return false;
    return ParseIgdUrl(where, location);
}

bool FindConnectionService(const std::string& description, const IgdUrl& location, IgdService* service) {
    if (description.size() > kUpnpDocumentMax) return false;
    for (const char* wanted : kConnectionTypes) {
        size_t at = 0;
        std::string type;
        size_t typeEnd = 0;
        while (ElementText(description, "serviceType", at, description.size(), &type, &typeEnd)) {
            at = typeEnd + 1;
            if (type != wanted) continue;
            const size_t serviceEnd = description.find("service>", typeEnd);
            std::string control;
            if (!ElementText(description, "controlURL", typeEnd, serviceEnd == std::string::npos ? description.size()
                                                                                                  : serviceEnd,
                             &control))
                continue;
            IgdService out;
            out.type = type;
            if (Lower(control.substr(0, 7)) == "http://") {
                if (!ParseIgdUrl(control, &out.control)) continue;
            } else {
                out.control = location;
                out.control.path = control.empty() || control[0] != '/' ? "/" + control : control;
                if (!ParseIgdUrl("http://" + HostHeader(location) + out.control.path, &out.control)) continue;
            }
            // A control point elsewhere than the router that described it is
            // not followed.
            if (out.control.ipv4 != location.ipv4) continue;
            *service = out;
            return true;
        }
    }
    return false;
}

SoapCall AddPortMappingCall(const std::string& serviceType, uint16_t externalPort, uint16_t internalPort,
                            uint32_t internalClientIpv4, uint32_t leaseSeconds, bool udp) {
    return Call(serviceType, "AddPortMapping",
                Argument("NewRemoteHost", "") + Argument("NewExternalPort", std::to_string(externalPort)) +
                    Argument("NewProtocol", udp ? "UDP" : "TCP") +
                    Argument("NewInternalPort", std::to_string(internalPort)) +
                    Argument("NewInternalClient", DottedIpv4(internalClientIpv4)) + Argument("NewEnabled", "1") +
                    Argument("NewPortMappingDescription", "QelvoP2SP") +
                    Argument("NewLeaseDuration", std::to_string(leaseSeconds)));
}

SoapCall DeletePortMappingCall(const std::string& serviceType, uint16_t externalPort, bool udp) {
    return Call(serviceType, "DeletePortMapping",
                Argument("NewRemoteHost", "") + Argument("NewExternalPort", std::to_string(externalPort)) +
                    Argument("NewProtocol", udp ? "UDP" : "TCP"));
}

SoapCall ExternalAddressCall(const std::string& serviceType) { return Call(serviceType, "GetExternalIPAddress", ""); }

int SoapErrorCode(const std::string& answer) {
    std::string code;
    if (!ElementText(answer, "errorCode", 0, answer.size(), &code) || code.empty() || code.size() > 4 ||
        !std::all_of(code.begin(), code.end(), ::isdigit))
        return 0;
    return std::atoi(code.c_str());
}

bool ParseExternalAddress(const std::string& answer, uint32_t* ipv4) {
    std::string text;
    return ElementText(answer, "NewExternalIPAddress", 0, answer.size(), &text) && ParseDottedIpv4(text, ipv4);
}

std::string SoapRequest(const IgdService& service, const SoapCall& call) {
    return "POST " + service.control.path + " HTTP/1.1\r\n" + "Host: " + HostHeader(service.control) + "\r\n" +
           "Content-Type: text/xml; charset=\"utf-8\"\r\n" + "SOAPAction: \"" + call.action + "\"\r\n" +
           "Content-Length: " + std::to_string(call.body.size()) + "\r\n" + "Connection: close\r\n\r\n" + call.body;
}

std::string DescriptionRequest(const IgdUrl& location) {
    return "GET " + location.path + " HTTP/1.1\r\nHost: " + HostHeader(location) + "\r\nConnection: close\r\n\r\n";
}

bool SplitHttpAnswer(const std::string& raw, int* status, std::string* body) {
    if (raw.compare(0, 7, "HTTP/1.") != 0 || raw.size() < 12) return false;
    const size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    if (!std::isdigit(static_cast<unsigned char>(raw[9])) || !std::isdigit(static_cast<unsigned char>(raw[10])) ||
        !std::isdigit(static_cast<unsigned char>(raw[11])))
        return false;
    *status = std::atoi(raw.substr(9, 3).c_str());
    const std::string head = Lower(raw.substr(0, headEnd));
    std::string rest = raw.substr(headEnd + 4);
    if (head.find("\r\ntransfer-encoding: chunked") != std::string::npos) {
        std::string out;
        size_t at = 0;
        for (;;) {
            const size_t line = rest.find("\r\n", at);
            if (line == std::string::npos || line - at > 8) return false;
            char* stop = nullptr;
            const unsigned long n = std::strtoul(rest.substr(at, line - at).c_str(), &stop, 16);
            if (n == 0) break;
            if (n > kUpnpDocumentMax || line + 2 + n > rest.size()) return false;
            out.append(rest, line + 2, n);
            at = line + 2 + n + 2;
        }
        *body = out;
        return true;
    }
    const size_t length = head.find("\r\ncontent-length:");
    if (length != std::string::npos) {
        const unsigned long n = std::strtoul(head.c_str() + length + 17, nullptr, 10);
        if (n > rest.size()) return false;
        rest.resize(n);
    }
    *body = rest;
    return true;
}
