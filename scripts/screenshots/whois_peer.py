#!/usr/bin/env python3
"""A tiny WHOIS peer for the screenshots: one loopback port that answers as
the registries and the abuse-contact service would for documentation
addresses. Prints the port it listens on, then serves until killed."""

import ipaddress
import socketserver
import sys

RESERVED = [ipaddress.ip_network(n) for n in (
    "0.0.0.0/8", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8",
    "169.254.0.0/16", "172.16.0.0/12", "192.168.0.0/16")]

PREAMBLE = ("\n#\n# Loopback registry for Morvanta's screenshots.\n#\n\n")


def network_answer(address):
    dashed = address.replace(".", "-")
    return (PREAMBLE
            + f"NetRange:       {address} - {address}\n"
            + "NetName:        BULK-SENDER-NET\nNetType:        Direct Allocation\n"
            + "OrgName:        Bulk Sender Hosting\nOrgId:          BSH-1\n"
            + "Address:        1 Example Way\nCity:           Springfield\nCountry:        US\n\n"
            + "OrgAbuseHandle: ABUSE1-ARIN\nOrgAbuseName:   Abuse Desk\n"
            + f"OrgAbuseEmail:  abuse@{dashed}.bulksender-hosting.net\n\n"
            + "OrgTechHandle:  NOC1-ARIN\nOrgTechName:    Network Operations\n"
            + "OrgTechEmail:   noc@bulksender-hosting.net\n")


def reserved_answer(address):
    return (PREAMBLE
            + f"NetRange:       {address} - {address}\n"
            + "NetName:        PRIVATE-ADDRESS-IANA-RESERVED\n"
            + "OrgName:        Internet Assigned Numbers Authority\nOrgId:          IANA\n"
            + "OrgAbuseEmail:  abuse@iana.org\n")


def answer(query):
    query = query.strip()
    if query.startswith("-h "):
        name = query[3:].strip()
        domain = ".".join(name.split(".")[-2:])
        return f"abuse@{domain} (for {name})\nspam@{domain} (for {name})\n"
    target = query.split()[-1] if query.split() else ""
    try:
        address = ipaddress.ip_address(target)
    except ValueError:
        return f"No match found for {query}.\n"
    if any(address in network for network in RESERVED):
        return reserved_answer(target)
    return network_answer(target)


class Handler(socketserver.StreamRequestHandler):
    timeout = 10

    def handle(self):
        line = self.rfile.readline(4096).decode("latin-1")
        self.wfile.write(answer(line).encode("latin-1"))


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    sys.stdout.close()
    server.serve_forever()


if __name__ == "__main__":
    main()
