# DMG making and reading against the command line. Sourced by bench/run,
# which provides build, scratch, best_of, ratio, $build and $runs.
#
# The data: a 1 GiB folder of mixed files (numbers as text, base64 text,
# random bytes, zeros, and a few thousand small files of text and random
# bytes), made into an ISO 9660 + HFS+ hybrid by xorriso.
# Making: xorriso + Udif::write against xorriso + `gzip -1` of the ISO (the
# same xorriso command for both). Reading: Reader::read of the whole DMG in
# 64 KiB requests, as a burn asks, against `dmg2img` decoding it to a file.
# The goals: making no slower than gzip -1, reading no slower than dmg2img.

bench_dmg() {
    build bench_dmg
    command -v xorriso >/dev/null || { echo "bench dmg needs xorriso" >&2; exit 1; }
    command -v dmg2img >/dev/null || { echo "bench dmg needs dmg2img" >&2; exit 1; }
    scratch
    local src="$work/src" iso="$work/image.iso" dmg="$work/image.dmg"
    echo "Writing a 1 GiB folder of mixed files..."
    mkdir -p "$src/text" "$src/random" "$src/zeros" "$src/small"
    # seq is cut off by head; its SIGPIPE is expected.
    (seq 1 100000000 || true) | head -c $((160 << 20)) >"$src/text/numbers.txt"
    head -c $((96 << 20)) /dev/urandom | base64 >"$src/text/base64.txt"
    head -c $((320 << 20)) /dev/urandom >"$src/random/random.bin"
    head -c $((256 << 20)) /dev/zero >"$src/zeros/zeros.bin"
    head -c $((64 << 20)) /dev/urandom | split -b 32K - "$src/small/random-"
    (seq 1 100000000 || true) | head -c $((64 << 20)) | split -b 16K - "$src/small/text-"
    du -sh "$src"

    local make_iso="xorriso -as mkisofs -hfsplus -V Bench -quiet -o '$iso' '$src' 2>/dev/null"
    bash -c "$make_iso"
    cat "$iso" >/dev/null
    local xorriso_s
    xorriso_s=$(best_of "rm -f '$iso'; $make_iso")

    local out write_s gzip_s
    out=$("$build/bench/bench_dmg" write "$iso" "$dmg" "$runs")
    echo "$out"
    write_s=$(sed -n 's/^seconds=//p' <<<"$out")
    gzip_s=$(best_of "gzip -1 -c '$iso' >'$work/image.iso.gz'")

    out=$("$build/bench/bench_dmg" read "$dmg" "$iso" "$runs")
    echo "$out"
    local read_s dmg2img_s
    read_s=$(sed -n 's/^seconds=//p' <<<"$out")
    dmg2img_s=$(best_of "rm -f '$work/dmg2img.img'; dmg2img -s -i '$dmg' -o '$work/dmg2img.img'")
    cmp "$iso" "$work/dmg2img.img" && echo "dmg2img gives the ISO back: yes"

    local sum_ours sum_gzip
    sum_ours=$(awk -v a="$xorriso_s" -v b="$write_s" 'BEGIN { printf "%.3f", a + b }')
    sum_gzip=$(awk -v a="$xorriso_s" -v b="$gzip_s" 'BEGIN { printf "%.3f", a + b }')
    mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.0f MB", b / 1e6 }'; }

    echo
    echo "1 GiB folder ($(mb "$iso") ISO), cached, best of $runs:"
    printf '  %-36s %8s s\n' "xorriso -hfsplus" "$xorriso_s"
    printf '  %-36s %8s s  (%s)\n' "Udif::write ISO" "$write_s" "$(mb "$dmg")"
    printf '  %-36s %8s s  (%s)\n' "gzip -1 ISO" "$gzip_s" "$(mb "$work/image.iso.gz")"
    printf '  %-36s %8s x  (goal: 1.00 or more)\n' "xorriso+gzip -1 / xorriso+ours" "$(ratio "$sum_gzip" "$sum_ours")"
    printf '  %-36s %8s x\n' "gzip -1 / Udif::write" "$(ratio "$gzip_s" "$write_s")"
    printf '  %-36s %8s s\n' "Reader::read, 64 KiB requests" "$read_s"
    printf '  %-36s %8s s\n' "dmg2img to a file" "$dmg2img_s"
    printf '  %-36s %8s x  (goal: 1.00 or more)\n' "dmg2img / Reader::read" "$(ratio "$dmg2img_s" "$read_s")"
}
