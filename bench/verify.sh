# Image verification against the command line. Sourced by bench/run, which
# provides build, scratch, best_of, ratio, $build and $runs.
#
# The data: a 1 GiB image of random bytes and an identical copy, both in the
# page cache. Baselines: `sha256sum IMG COPY` (what a user would type to
# compare the two) and `openssl sha256 IMG` (hashing the image alone, the
# floor for a verify that reads both). The goal is a verify within 1.25x of
# hashing the image alone.

bench_verify() {
    build bench_verify
    scratch
    local image="$work/image.iso" copy="$work/copy.iso"
    echo "Writing a 1 GiB image and its copy..."
    head -c $((1 << 30)) /dev/urandom >"$image"
    cp "$image" "$copy"
    cat "$image" "$copy" >/dev/null

    local out ours both alone
    out=$("$build/bench/bench_verify" "$image" "$copy" "$runs")
    echo "$out"
    ours=$(sed -n 's/^seconds=//p' <<<"$out")
    both=$(best_of "sha256sum '$image' '$copy'")
    alone=$(best_of "openssl sha256 '$image'")

    echo
    echo "1 GiB, cached, best of $runs:"
    printf '  %-28s %8s s\n' "Verifier::compare" "$ours"
    printf '  %-28s %8s s\n' "sha256sum IMG COPY" "$both"
    printf '  %-28s %8s s\n' "openssl sha256 IMG" "$alone"
    printf '  %-28s %8s x   (goal: 1.25 or less)\n' "ours / openssl sha256 IMG" "$(ratio "$ours" "$alone")"
    printf '  %-28s %8s x\n' "sha256sum IMG COPY / ours" "$(ratio "$both" "$ours")"
}
