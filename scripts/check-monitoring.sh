#!/usr/bin/env bash
# Checks what merlon-capture offers a monitoring system with the real tools:
# the alerting rules with promtool (syntax, and their unit tests on recorded
# series). Needs MERLON_WITH_MONITORING_TOOLS=1 scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== Alerting rules"
promtool check rules tools/capture/merlon-capture.rules.yml
(cd tests/monitoring && promtool test rules merlon-capture.rules.test.yml)
