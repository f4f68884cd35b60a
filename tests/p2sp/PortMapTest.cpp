// The home router's answers are checked against what was asked before any
// field is used: NAT-PMP and PCP packets, and the UPnP IGD texts.
#include "p2sp/portmap/MapPackets.h"
#include "p2sp/portmap/UpnpIgd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint8_t kNonce[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

std::vector<uint8_t> PcpAnswer(uint8_t result, const uint8_t* nonce, uint16_t internal, uint16_t external) {
    std::vector<uint8_t> a = {2, 0x81, 0, result, 0, 0, 0x1C, 0x20, 0, 0, 0, 9};
    a.insert(a.end(), 12, 0);
    a.insert(a.end(), nonce, nonce + 12);
    a.insert(a.end(), {6, 0, 0, 0, uint8_t(internal >> 8), uint8_t(internal), uint8_t(external >> 8),
                       uint8_t(external)});
    a.insert(a.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 198, 18, 1, 7});
    return a;
}

}  // namespace

TEST(MapPackets, RequestsAreLaidOutAsTheRoutersRead) {
    EXPECT_EQ((std::vector<uint8_t>{0, 2, 0, 0, 0x1A, 0xE1, 0x1A, 0xE1, 0, 0, 0x1C, 0x20}),
              NatPmpMapRequest(6881, 6881, 7200));
    // A delete names no external port.
    EXPECT_EQ((std::vector<uint8_t>{0, 2, 0, 0, 0x1A, 0xE1, 0, 0, 0, 0, 0, 0}), NatPmpMapRequest(6881, 6881, 0));
    const std::vector<uint8_t> pcp = PcpMapRequest(kNonce, 0xC6130102u, 6881, 6882, 7200);
    ASSERT_EQ(60u, pcp.size());
    EXPECT_EQ((std::vector<uint8_t>{2, 1, 0, 0, 0, 0, 0x1C, 0x20}), std::vector<uint8_t>(pcp.begin(), pcp.begin() + 8));
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 198, 19, 1, 2}), std::vector<uint8_t>(pcp.begin() + 18, pcp.begin() + 24));
    EXPECT_EQ(std::vector<uint8_t>(kNonce, kNonce + 12), std::vector<uint8_t>(pcp.begin() + 24, pcp.begin() + 36));
    EXPECT_EQ((std::vector<uint8_t>{6, 0, 0, 0, 0x1A, 0xE1, 0x1A, 0xE2}),
              std::vector<uint8_t>(pcp.begin() + 36, pcp.begin() + 44));
    // uTP's port: the same requests for UDP.
    EXPECT_EQ(1, NatPmpMapRequest(6881, 6881, 7200, true)[1]);
    EXPECT_EQ(17, PcpMapRequest(kNonce, 0xC6130102u, 6881, 6882, 7200, true)[36]);
}

TEST(MapPackets, AnswersAreTakenOnlyForWhatWasAsked) {
    MapAnswer a;
    std::vector<uint8_t> nat = {0, 130, 0, 0, 0, 0, 0, 5, 0x1A, 0xE1, 0x1A, 0xE2, 0, 0, 0x1C, 0x20};
    ASSERT_TRUE(ParseNatPmpMapAnswer(nat.data(), nat.size(), 6881, &a));
    EXPECT_EQ(0, a.result);
    EXPECT_EQ(6882, a.externalPort);
    EXPECT_EQ(7200u, a.lifetime);
    EXPECT_FALSE(ParseNatPmpMapAnswer(nat.data(), nat.size(), 6999, &a)) << "another internal port";
    EXPECT_FALSE(ParseNatPmpMapAnswer(nat.data(), 12, 6881, &a)) << "cut short";
    nat[1] = 129;
    EXPECT_FALSE(ParseNatPmpMapAnswer(nat.data(), nat.size(), 6881, &a)) << "a UDP mapping's answer";
    EXPECT_TRUE(ParseNatPmpMapAnswer(nat.data(), nat.size(), 6881, &a, true)) << "... when UDP was asked";

    std::vector<uint8_t> pcp = PcpAnswer(0, kNonce, 6881, 40000);
    ASSERT_TRUE(ParsePcpMapAnswer(pcp.data(), pcp.size(), kNonce, 6881, &a));
    EXPECT_EQ(40000, a.externalPort);
    EXPECT_EQ(7200u, a.lifetime);
    EXPECT_EQ(0xC6120107u, a.externalIpv4);
    const uint8_t other[12] = {9};
    std::vector<uint8_t> stranger = PcpAnswer(0, other, 6881, 40000);
    EXPECT_FALSE(ParsePcpMapAnswer(stranger.data(), stranger.size(), kNonce, 6881, &a)) << "another nonce";
    EXPECT_FALSE(ParsePcpMapAnswer(pcp.data(), pcp.size() - 2, kNonce, 6881, &a)) << "not a multiple of 4";
    EXPECT_FALSE(ParsePcpMapAnswer(pcp.data(), pcp.size(), kNonce, 6881, &a, true)) << "TCP's answer to a UDP ask";
    std::vector<uint8_t> refused = PcpAnswer(8, kNonce, 6881, 0);
    ASSERT_TRUE(ParsePcpMapAnswer(refused.data(), 24, kNonce, 6881, &a));
    EXPECT_EQ(8, a.result);

    const uint8_t pcpOnly[] = {2, 0x81, 0, 1, 0, 0, 0, 0};
    const uint8_t natPmpOnly[] = {0, 0x82, 0, 1, 0, 0, 0, 0};
    EXPECT_TRUE(IsUnsupportedVersionAnswer(pcpOnly, sizeof(pcpOnly)));
    EXPECT_TRUE(IsUnsupportedVersionAnswer(natPmpOnly, sizeof(natPmpOnly)));
    EXPECT_FALSE(IsUnsupportedVersionAnswer(nat.data(), nat.size()));
}

TEST(UpnpIgd, OnlyDottedHttpAddressesAreFollowed) {
    struct Case {
        const char* text;
        bool ok;
        uint16_t port;
        const char* path;
    } cases[] = {
        {"http://198.19.1.1:5000/rootDesc.xml", true, 5000, "/rootDesc.xml"},
        {" http://10.0.0.1 ", true, 80, "/"},
        {"https://10.0.0.1/", false, 0, ""},
        {"http://router.home/desc.xml", false, 0, ""},
        {"http://10.0.0.256/", false, 0, ""},
        {"http://10.0.0.1:70000/", false, 0, ""},
        {"http://10.0.0.1/a b", false, 0, ""},
    };
    for (const Case& c : cases) {
        IgdUrl url;
        ASSERT_EQ(c.ok, ParseIgdUrl(c.text, &url)) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(c.port, url.port) << c.text;
        EXPECT_EQ(c.path, url.path) << c.text;
    }
}

TEST(UpnpIgd, TheConnectionServiceIsFoundOnTheRouterThatDescribedIt) {
    IgdUrl location;
    ASSERT_TRUE(ParseSsdpAnswer("HTTP/1.1 200 OK\r\nST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                                "Location: http://198.19.1.1:5000/rootDesc.xml\r\n\r\n",
                                &location));
    EXPECT_FALSE(ParseSsdpAnswer("HTTP/1.1 200 OK\r\nST: urn:dial-multiscreen-org:service:dial:1\r\n"
                                 "LOCATION: http://198.19.1.1:5000/d.xml\r\n\r\n",
                                 &location))
        << "a television answering the search";
    const std::string service = "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
                                "<controlURL>%s</controlURL></service>";
    const auto describe = [&](const std::string& control) {
        std::string d = service;
        d.replace(d.find("%s"), 2, control);
        return "<root><device><serviceList>" + d + "</serviceList></device></root>";
    };
    IgdService found;
    ASSERT_TRUE(FindConnectionService(describe("/ctl/IPConn"), location, &found));
    EXPECT_EQ("urn:schemas-upnp-org:service:WANIPConnection:1", found.type);
    EXPECT_EQ(5000, found.control.port);
    EXPECT_EQ("/ctl/IPConn", found.control.path);
    EXPECT_FALSE(FindConnectionService(describe("http://203.0.113.9/ctl"), location, &found)) << "elsewhere";
    const std::string ppp = "<root><serviceType>urn:schemas-upnp-org:service:WANPPPConnection:1</serviceType>"
                            "<controlURL>ppp</controlURL></root>";
    ASSERT_TRUE(FindConnectionService(ppp, location, &found));
    EXPECT_EQ("/ppp", found.control.path);
}

TEST(UpnpIgd, AnswersAndFaultsAreRead) {
    int status = 0;
    std::string body;
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", &status, &body));
    EXPECT_EQ(200, status);
    EXPECT_EQ("hello", body);
    ASSERT_TRUE(SplitHttpAnswer("HTTP/1.1 500 X\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
                                &status, &body));
    EXPECT_EQ("abcde", body);
    EXPECT_FALSE(SplitHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", &status, &body));
    EXPECT_FALSE(SplitHttpAnswer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nff\r\nab", &status, &body));
    EXPECT_EQ(718, SoapErrorCode("<s:Fault><detail><UPnPError><errorCode>718</errorCode></UPnPError></detail>"));
    EXPECT_EQ(0, SoapErrorCode("<u:AddPortMappingResponse/>"));
    uint32_t address = 0;
    ASSERT_TRUE(ParseExternalAddress("<NewExternalIPAddress>198.18.1.1</NewExternalIPAddress>", &address));
    EXPECT_EQ(0xC6120101u, address);
    EXPECT_FALSE(ParseExternalAddress("<NewExternalIPAddress></NewExternalIPAddress>", &address));
    const std::string call = AddPortMappingCall("urn:x:WANIPConnection:1", 6881, 6881, 0xC6130102u, 3600).body;
    EXPECT_NE(std::string::npos, call.find("<NewInternalClient>198.19.1.2</NewInternalClient>"));
    EXPECT_NE(std::string::npos, call.find("<NewLeaseDuration>3600</NewLeaseDuration>"));
    EXPECT_NE(std::string::npos, call.find("<NewProtocol>TCP</NewProtocol>"));
    const std::string udp = AddPortMappingCall("urn:x:WANIPConnection:1", 6881, 6881, 0xC6130102u, 3600, true).body;
    EXPECT_NE(std::string::npos, udp.find("<NewProtocol>UDP</NewProtocol>"));
    EXPECT_NE(std::string::npos,
              DeletePortMappingCall("urn:x:WANIPConnection:1", 6881, true).body.find("<NewProtocol>UDP</NewProtocol>"));
}
