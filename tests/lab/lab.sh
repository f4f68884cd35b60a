#!/usr/bin/env bash
# The network lab: players behind home routers, built in Linux network
# namespaces on this machine and removed again. Sourced by the lab's tests and
# benchmarks, or run: lab.sh up HOMES [UPLINK_KIB] | down PREFIX.
#
#   <prefix>-inet   the "Internet": one bridge, 198.18.0.0/16. The origin is
#                   198.18.0.1, the tracker 198.18.0.2; other hosts of the
#                   segment take 198.18.0.x addresses (lab_host_address).
#   <prefix>-r<i>   home i's router: 198.18.1.<i> on the Internet, 198.19.<i>.1
#                   on its home segment. It translates its player's addresses
#                   (MASQUERADE with connection tracking), drops what arrives
#                   unsolicited from the Internet, and shapes the player's
#                   uplink (token bucket on its Internet side, 1024 KiB/s by
#                   default, with a queue of 400 ms: LAB_QUEUE_MS).
#   <prefix>-p<i>   home i's player, 198.19.<i>.2, its default route the router.
#
# A router may also offer port mapping (lab_start_portmap): NAT-PMP, PCP and
# UPnP IGD, each granted mapping a DNAT rule of the router's.
#
# Every address is in 198.18.0.0/15 and no namespace has a route anywhere
# else, so nothing in the lab reaches past it. lab_down ends the processes in
# the lab's namespaces by their ids and deletes the namespaces, which takes
# their links and rules with them; nothing is created outside them.
# Needs root (lab_can_run says why not).

LAB_PREFIX=${LAB_PREFIX:-}
LAB_HOMES=0

lab_can_run() {
    [ "$(id -u)" -eq 0 ] || { echo "the network lab needs root (network namespaces)"; return 1; }
    local tool
    for tool in ip iptables tc; do
        command -v $tool >/dev/null 2>&1 || { echo "the network lab needs $tool"; return 1; }
    done
}

lab_ns() { echo "$LAB_PREFIX-$1"; }             # inet, r<i>, p<i>
lab_exec() { local ns=$1; shift; ip netns exec "$(lab_ns "$ns")" "$@"; }
lab_player_address() { echo "198.19.$1.2"; }
lab_router_address() { echo "198.18.1.$1"; }
lab_host_address() { echo "198.18.0.$1"; }      # 1 origin, 2 tracker

# lab_up HOMES [UPLINK_KIB]: builds the lab; the prefix is LAB_PREFIX, else
# one of this process's own, so two runs on one machine never share names.
lab_up() {
    local homes=$1 uplink=${2:-1024} i inet
    [ "$homes" -ge 1 ] && [ "$homes" -le 200 ] || { echo "lab: 1 to 200 homes" >&2; return 1; }
    LAB_PREFIX=${LAB_PREFIX:-vlab$$}
    LAB_HOMES=$homes
    inet=$(lab_ns inet)
    ip netns add "$inet" || return 1
    ip -n "$inet" link set lo up
    ip -n "$inet" link add br0 type bridge
    ip -n "$inet" link set br0 up
    ip -n "$inet" addr add "$(lab_host_address 1)/16" dev br0
    ip -n "$inet" addr add "$(lab_host_address 2)/16" dev br0
    for i in $(seq 1 "$homes"); do
        lab_add_home "$i" "$uplink" || return 1
    done
}

lab_add_home() {
    local i=$1 uplink=$2 inet router player
    inet=$(lab_ns inet) router=$(lab_ns "r$i") player=$(lab_ns "p$i")
    ip netns add "$router" && ip netns add "$player" || return 1
    ip -n "$router" link set lo up
    ip -n "$player" link set lo up
    # Internet side: a port on the bridge.
    ip -n "$inet" link add "h$i" type veth peer name wan netns "$router"
    ip -n "$inet" link set "h$i" master br0 up
    ip -n "$router" addr add "$(lab_router_address "$i")/16" dev wan
    ip -n "$router" link set wan up
    # Home side.
    ip -n "$router" link add lan type veth peer name eth0 netns "$player"
    ip -n "$router" addr add "198.19.$i.1/24" dev lan
    ip -n "$router" link set lan up
    ip -n "$player" addr add "$(lab_player_address "$i")/24" dev eth0
    ip -n "$player" link set eth0 up
    ip -n "$player" route add default via "198.19.$i.1"
    # The player's computer sends TCP as a home computer's system does,
    # whatever this machine uses: loss-based, filling the router's queue
    # until it drops (CUBIC; Reno where this machine allows only it).
    ip netns exec "$player" sysctl -qw net.ipv4.tcp_congestion_control=cubic 2>/dev/null ||
        ip netns exec "$player" sysctl -qw net.ipv4.tcp_congestion_control=reno 2>/dev/null || true
    ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
    # Address translation, and nothing unsolicited from the Internet: only
    # replies, and what a port mapping forwards (DNAT), reach the home.
    ip netns exec "$router" iptables -t nat -A POSTROUTING -o wan -j MASQUERADE
    ip netns exec "$router" iptables -P FORWARD DROP
    ip netns exec "$router" iptables -A FORWARD -i lan -o wan -j ACCEPT
    ip netns exec "$router" iptables -A FORWARD -i wan -o lan -m conntrack --ctstate ESTABLISHED,RELATED,DNAT -j ACCEPT
    ip netns exec "$router" iptables -A INPUT -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT
    ip netns exec "$router" iptables -A INPUT -i wan -j DROP
    # The player's uplink: what leaves the router towards the Internet.
    # Its queue holds LAB_QUEUE_MS of traffic (400 ms by default), as a home
    # router's buffer does: a bulk upload makes everything else wait that long.
    ip netns exec "$router" tc qdisc add dev wan root tbf rate "$((uplink * 8))kibit" burst 32kb \
        latency "${LAB_QUEUE_MS:-400}ms"
}

# lab_start_portmap HOME [PROTOCOLS] [LOG]: the port-mapping service of the
# home's router (portmap_responder.py; PROTOCOLS: pcp,natpmp,upnp by
# default), on its home segment; waits until it answers. Ended by lab_down.
lab_start_portmap() {
    local i=$1 protocols=${2:-pcp,natpmp,upnp} log=${3:-/dev/null}
    ip netns exec "$(lab_ns "r$i")" python3 "$(dirname "${BASH_SOURCE[0]}")/portmap_responder.py" \
        --lan "198.19.$i.1" --wan "$(lab_router_address "$i")" --protocols "$protocols" --log "$log" \
        </dev/null >/dev/null 2>&1 &
    disown
    for _ in $(seq 50); do
        grep -q '"ready"' "$log" 2>/dev/null && return 0
        [ "$log" = /dev/null ] && { sleep 0.5; return 0; }
        sleep 0.1
    done
    echo "lab: the port-mapping service of home $i did not start" >&2
    return 1
}

# lab_down [PREFIX]: ends every process in the lab's namespaces (by id) and
# deletes them. Safe to call twice, and on a lab half built.
lab_down() {
    local prefix=${1:-$LAB_PREFIX} ns pids
    [ -n "$prefix" ] || return 0
    for ns in $(ip netns list | awk '{print $1}' | grep -E "^$prefix-(inet|r[0-9]+|p[0-9]+)$"); do
        pids=$(ip netns pids "$ns" 2>/dev/null)
        [ -n "$pids" ] && kill $pids 2>/dev/null
    done
    for _ in $(seq 50); do
        pids=""
        for ns in $(ip netns list | awk '{print $1}' | grep -E "^$prefix-(inet|r[0-9]+|p[0-9]+)$"); do
            pids+=" $(ip netns pids "$ns" 2>/dev/null)"
        done
        [ -z "${pids// /}" ] && break
        [ "$_" = 40 ] && kill -KILL $pids 2>/dev/null
        sleep 0.1
    done
    for ns in $(ip netns list | awk '{print $1}' | grep -E "^$prefix-(inet|r[0-9]+|p[0-9]+)$"); do
        ip netns del "$ns"
    done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    case "${1:-}" in
        up) lab_can_run || exit 77; lab_up "${2:?homes}" "${3:-1024}" || { lab_down; exit 1; }
            echo "lab: $LAB_PREFIX up with $LAB_HOMES homes (lab.sh down $LAB_PREFIX removes it)" ;;
        down) lab_down "${2:?prefix}" ;;
        *) echo "usage: $0 up HOMES [UPLINK_KIB] | down PREFIX" >&2; exit 2 ;;
    esac
fi
