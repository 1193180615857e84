#!/usr/bin/env bash
# Three network namespaces for the NAT traversal test: a client behind a
# router that masquerades, and the cloud (service, traversal server, camera)
# outside it. Private addresses, reachable only inside these namespaces.
#   nat_topology.sh up|down SUFFIX
set -eu
action=$1
s=$2
client=lvxc$s router=lvxr$s outside=lvxo$s

down() {
  for n in $client $router $outside; do ip netns del "$n" 2>/dev/null || true; done
}

if [ "$action" = down ]; then
  down
  exit 0
fi

trap down ERR
for n in $client $router $outside; do
  ip netns add "$n"
  ip -n "$n" link set lo up
done
ip link add c$s netns "$client" type veth peer name rc$s netns "$router"
ip link add ro$s netns "$router" type veth peer name o$s netns "$outside"
ip -n "$client" addr add 10.231.1.2/24 dev c$s
ip -n "$client" link set c$s up
ip -n "$client" route add default via 10.231.1.1
ip -n "$router" addr add 10.231.1.1/24 dev rc$s
ip -n "$router" addr add 10.231.2.1/24 dev ro$s
ip -n "$router" link set rc$s up
ip -n "$router" link set ro$s up
ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
ip netns exec "$router" iptables -t nat -A POSTROUTING -o ro$s -j MASQUERADE
ip -n "$outside" addr add 10.231.2.2/24 dev o$s
ip -n "$outside" link set o$s up
