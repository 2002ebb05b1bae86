#!/bin/sh
# Builds the metadata fuzz target with clang and libFuzzer in build-fuzz and
# runs it for the number of seconds given as the first argument (default 20)
# from a seed corpus of well-formed, odd and hostile property lists.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build-fuzz

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUILLON_FUZZ=ON -DQUILLON_BUILD_APP=OFF -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF
cmake --build "$build" --target quillon_metadata_fuzzer -j 2

seeds="$build/metadata-seeds"
corpus="$build/metadata-corpus"
artifacts="$build/metadata-artifacts"
mkdir -p "$seeds" "$corpus" "$artifacts"

xml_head='<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">'
printf '%s\n<dict>\n\t<key>WorkspacePath</key>\n\t<string>/Users/a/App/App.xcodeproj</string>\n</dict>\n</plist>\n' \
    "$xml_head" > "$seeds/valid.xml"
printf '%s\n<dict><key>WorkspacePath</key><string><![CDATA[/w/A.xcworkspace]]><!-- c --></string>' \
    "$xml_head" > "$seeds/cdata.xml"
printf '</dict></plist>\n' >> "$seeds/cdata.xml"
printf '%s<dict><key>WorkspacePath</key><string>App.xcodeproj</string><key>n</key><array><integer>1</integer>' \
    "$xml_head" > "$seeds/relative.xml"
printf '<real>2.5</real><true/><false/><date>2024-01-01T00:00:00Z</date><data>AAEC</data><dict/></array></dict></plist>' \
    >> "$seeds/relative.xml"
printf '<plist><array a="/>"><array><array><array><array></array></array></array></array></array></plist>' \
    > "$seeds/nested.xml"
# Nesting just inside and just past the depth limit.
for depth in 255 257; do
    i=0; open=''; close=''
    while [ "$i" -lt "$depth" ]; do open="$open<array>"; close="$close</array>"; i=$((i + 1)); done
    printf '<plist>%s%s</plist>' "$open" "$close" > "$seeds/deep-$depth.xml"
done
# Binary: {WorkspacePath: "/a/B.xcodeproj"}, then an array whose two entries
# both refer to one shared array.
printf 'bplist00\321\001\002\135WorkspacePath\136/a/B.xcodeproj\010\013\031' > "$seeds/valid.bplist"
printf '\000\000\000\000\000\000\001\001\000\000\000\000\000\000\000\003' >> "$seeds/valid.bplist"
printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\050' >> "$seeds/valid.bplist"
printf 'bplist00\242\001\001\242\002\002\240\010\013\016' > "$seeds/shared.bplist"
printf '\000\000\000\000\000\000\001\001\000\000\000\000\000\000\000\003' >> "$seeds/shared.bplist"
printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\017' >> "$seeds/shared.bplist"

cat > "$build/metadata.dict" <<'DICT'
"<array>"
"</array>"
"<dict>"
"</dict>"
"<key>"
"</key>"
"<string>"
"</string>"
"<plist>"
"</plist>"
"<array/>"
"<integer>"
"<data>"
"<!--"
"-->"
"<![CDATA["
"]]>"
"<?"
"?>"
"<!DOCTYPE"
"\x22"
"WorkspacePath"
"xcodeproj"
"xcworkspace"
"bplist00"
"\xa1"
"\xd1"
"\x0f\x10"
DICT

"$build/fuzz/quillon_metadata_fuzzer" "$corpus" "$seeds" \
    -dict="$build/metadata.dict" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
