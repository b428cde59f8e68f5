# Sourced by bench/run: six virtual burners at once against cp of the same data.
bench_burn() {
    build bench_burn
    scratch
    echo "Making three 10-minute WAV tracks and a 700 MB image..."
    for i in 1 2 3; do
        ffmpeg -v error -y -f lavfi -i "sine=frequency=$((200 * i)):duration=600:sample_rate=44100" -ac 2 \
            "$work/track$i.wav"
    done
    head -c $((341797 * 2048)) /dev/urandom >"$work/image.iso" # 700 MB in whole sectors
    cat "$work"/*.wav "$work/image.iso" >/dev/null

    local out seconds bytes delay
    out=$("$build/bench/bench_burn" "$work/run" "$work/track1.wav" "$work/track2.wav" "$work/track3.wav" \
        "$work/image.iso")
    echo "$out"
    seconds=$(sed -n 's/^seconds=//p' <<<"$out")
    bytes=$(sed -n 's/^bytes=//p' <<<"$out")
    delay=$(sed -n 's/^worst_delay_ms=//p' <<<"$out")

    # The baseline copies the very files the burners wrote, one after another.
    mkdir -p "$work/copy"
    local cp_seconds
    cp_seconds=$(best_of "rm -f '$work'/copy/*; find '$work/run/xdg_data_home' -type f -exec cp {} '$work/copy/' \\;")

    local ours theirs
    ours=$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.0f", b / s / 1e6 }')
    theirs=$(awk -v b="$bytes" -v s="$cp_seconds" 'BEGIN { printf "%.0f", b / s / 1e6 }')
    echo
    echo "Six virtual burners, unthrottled (3 audio CDs incl. preparation, 3 x 700 MB images):"
    printf '  %-34s %8s ms (goal: under 50)\n' "longest main-thread timer delay" "$delay"
    printf '  %-34s %8s MB/s (%s MB in %s s)\n' "burners, aggregate" "$ours" "$((bytes / 1000000))" "$seconds"
    printf '  %-34s %8s MB/s (%s s)\n' "cp of the same files" "$theirs" "$cp_seconds"
    printf '  %-34s %8s (goal: at least 0.70)\n' "burners / cp" "$(ratio "$ours" "$theirs")"
}
