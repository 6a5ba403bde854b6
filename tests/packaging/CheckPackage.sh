#!/usr/bin/env bash
# The Debian package made from the build tree: what it holds and where,
# its control file, and lintian with neither errors nor warnings.
# Arguments: the build folder, and a scratch folder.
set -euo pipefail
build="$1" scratch="$2"
rm -rf "$scratch" && mkdir -p "$scratch"
(cd "$build" && cpack -G DEB -B "$scratch" >/dev/null)
deb=$(ls "$scratch"/quorvel_*_*.deb)
fail() { echo "package: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/quorvel-host \
            ./usr/lib/frei0r-1/quorvel.so \
            ./usr/lib/quorvel/plugins/Quorvel.bundle/Contents/Manifest \
            ./usr/lib/quorvel/plugins/Quorvel.bundle/Contents/Linux/Quorvel.so \
            ./usr/lib/quorvel/plugins/Quorvel.bundle/Contents/Resources/quor-m.nib/configHD.ui \
            ./usr/share/man/man1/quorvel-host.1.gz \
            ./usr/share/doc/quorvel/copyright \
            ./usr/share/doc/quorvel/changelog.Debian.gz \
            ./usr/share/doc/quorvel/manual.pdf \
            ./usr/share/kdenlive/effects/frei0r_quorvel.xml \
            ./usr/share/shotcut/qml/filters/quorvel/meta.qml \
            ./usr/share/shotcut/qml/filters/quorvel/ui.qml \
            ./usr/share/shotcut/qml/filters/quorvel/vui.qml \
            ./usr/share/mlt-7/frei0r/filter_frei0r.quorvel.yml; do
  grep -qxF "$path" <<<"$contents" || fail "no $path"
done
# Nothing in the multiarch folder, nothing outside /usr.
if grep -q "x86_64-linux-gnu\|^\./usr/local\|^\./etc\|^\./opt" <<<"$contents"; then fail "files outside their places"; fi

[ "$(dpkg-deb -f "$deb" Package)" = quorvel ] || fail "the package is not named quorvel"
[ "$(dpkg-deb -f "$deb" Section)" = video ] || fail "not in section video"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libavformat59 libopenimageio2.4 libpixman-1-0 libgif7; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
# Stripped: no debugging sections left in the binaries.
mkdir -p "$scratch/root" && dpkg-deb -x "$deb" "$scratch/root"
for binary in usr/bin/quorvel-host usr/lib/frei0r-1/quorvel.so usr/lib/quorvel/plugins/Quorvel.bundle/Contents/Linux/Quorvel.so; do
  if readelf -S "$scratch/root/$binary" | grep -q "\.debug_"; then fail "$binary is not stripped"; fi
done
lintian --fail-on error,warning "$deb"
echo "package: $deb holds what it should; lintian is clean"
