#!/bin/bash
# Device scenario: "create - - hbs noroute": the phone joins and takes a
# lease without a router; it reaches the device at 10.35.78.1 but not the
# upstream server.
#   scenario-noroute.sh BUILD_DIR
set -uo pipefail
build=$1
. "$(dirname "$0")/device-lib.sh"

device_up
service_up
create_and_wait - - hbs noroute
wait_for "wlanap on channel 37" 100 ap_on 37
phone_join
grep -q "^router=" "$work/offer" && fail "noroute offers a router: $(grep router "$work/offer")"
grep -q "^ip=10.35.78." "$work/offer" || fail "lease: $(cat "$work/offer")"
device_answers() { ip netns exec cl ping -c 1 -W 1 10.35.78.1; }
wait_for "the phone reaching 10.35.78.1" 300 device_answers
fetch 5 && fail "the phone reaches the upstream server"
no_denials
pass
