#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# if any of them are missing.
# MERLON_WITH_DISPLAY_TOOLS=1 adds what the screenshots need,
# MERLON_WITH_PACKAGING_TOOLS=1 what building and checking the Debian package needs,
# MERLON_WITH_CHECK_TOOLS=1 clang-tidy for scripts/check-naming.sh,
# MERLON_WITH_MONITORING_TOOLS=1 Prometheus and node_exporter for
# scripts/check-monitoring.sh, MERLON_WITH_FUZZ_TOOLS=1 clang for the
# fuzz targets, and MERLON_WITH_BROWSER_TOOLS=1 the headless browser, HTML
# checker, rclone and npm for scripts/check-galerie.sh.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          libjpeg62-turbo-dev xxd fonts-liberation2 qt6-translations-l10n)
if [ "${MERLON_WITH_DISPLAY_TOOLS:-0}" = 1 ]; then
    packages+=(xvfb xauth imagemagick)
fi
if [ "${MERLON_WITH_CHECK_TOOLS:-0}" = 1 ]; then
    packages+=(clang-tidy)
fi
if [ "${MERLON_WITH_PACKAGING_TOOLS:-0}" = 1 ]; then
    packages+=(dpkg-dev file lintian desktop-file-utils appstream systemd man-db)
fi
if [ "${MERLON_WITH_MONITORING_TOOLS:-0}" = 1 ]; then
    packages+=(prometheus prometheus-node-exporter curl)
fi
if [ "${MERLON_WITH_BROWSER_TOOLS:-0}" = 1 ]; then
    packages+=(chromium chromium-driver python3-selenium tidy rclone curl)
    # A Node.js from elsewhere brings its own npm, which Debian's npm would
    # conflict with.
    command -v npm >/dev/null || packages+=(nodejs npm)
fi
if [ "${MERLON_WITH_FUZZ_TOOLS:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "install-deps: installing the missing Debian packages: ${missing[*]}"
echo "install-deps: running ${sudo[*]:+sudo }apt-get update, then apt-get install"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
