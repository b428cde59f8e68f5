# Sourced by bench/run: six virtual burners at once against cp of the same
# data, and the images against six dd copies running at once (a user-space
# pipeline that reads and writes every block, as the burners do).
bench_burn() {
    build bench_burn bench_lateness
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
    local image_seconds image_bytes
    image_seconds=$(sed -n 's/^image_seconds=//p' <<<"$out")
    image_bytes=$(sed -n 's/^image_bytes=//p' <<<"$out")

    # The baseline copies the same number of bytes: the mixed run's files, and
    # the image six times.
    mkdir -p "$work/copy"
    local cp_seconds cp_image_seconds dd_image_seconds
    # Each starts as the burners do: earlier copies gone, dirty pages written out.
    local clean="rm -f '$work'/copy/*; sync"
    cp_seconds=$(best_of "find '$work/run/xdg_data_home' -type f -name 'Disc 001.*' -exec cp {} '$work/copy/' \\;" "$clean")
    cp_image_seconds=$(best_of "for i in 1 2 3 4 5 6; do cp '$work/image.iso' '$work/copy/'\$i.iso; done" "$clean")
    local six_dd="for i in 1 2 3 4 5 6; do dd if='$work/image.iso' of='$work/copy/'\$i.iso bs=1M status=none & done; wait"
    dd_image_seconds=$(best_of "$six_dd" "$clean")
    # The same timer as the burners' figure, in a process of its own while
    # six dd copy the image: what the machine does to any program then.
    local dd_delay=0 d
    for ((i = 0; i < runs; i++)); do
        bash -c "$clean"
        d=$("$build/bench/bench_lateness" "$six_dd" | sed -n 's/^lateness_ms=//p')
        if ((d > dd_delay)); then dd_delay=$d; fi
    done
    rm -f "$work"/copy/*

    mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }
    echo
    echo "Six virtual burners at once, unthrottled:"
    printf '  %-44s %8s ms (goal: under 25)\n' "longest main-thread timer delay" "$delay"
    local run
    for run in mixed image; do
        printf '  %-44s %8s ms\n' "  during the $run run$([[ $run == image ]] && echo s)" \
            "$(sed -n "s/^${run}_delay_ms=//p" <<<"$out")"
        printf '  %-44s %8s ms\n' "    of which waiting for a CPU" "$(sed -n "s/^${run}_cpu_wait_ms=//p" <<<"$out")"
        printf '  %-44s %8s ms (%s)\n' "    longest single event handled" \
            "$(awk -v us="$(sed -n "s/^${run}_longest_event_us=//p" <<<"$out")" 'BEGIN { printf "%.1f", us / 1000 }')" \
            "$(sed -n "s/^${run}_longest_event_in=//p" <<<"$out")"
    done
    printf '  %-44s %8s ms\n' "  a timer elsewhere while 6 dd run (baseline)" "$dd_delay"
    printf '  %-44s %8s MB/s (%s MB in %s s)\n' "3 audio CDs (with preparation) + 3 images" "$(mbps "$bytes" "$seconds")" \
        "$((bytes / 1000000))" "$seconds"
    printf '  %-44s %8s MB/s (%s s)\n' "  cp of the same bytes" "$(mbps "$bytes" "$cp_seconds")" "$cp_seconds"
    printf '  %-44s %8s MB/s (%s MB in %s s)\n' "6 images" "$(mbps "$image_bytes" "$image_seconds")" \
        "$((image_bytes / 1000000))" "$image_seconds"
    printf '  %-44s %8s MB/s (%s s)\n' "  cp of the image 6 times" "$(mbps "$image_bytes" "$cp_image_seconds")" \
        "$cp_image_seconds"
    printf '  %-44s %8s MB/s (%s s)\n' "  6 dd bs=1M of the image at once" "$(mbps "$image_bytes" "$dd_image_seconds")" \
        "$dd_image_seconds"
    printf '  %-44s %8s (goal: at least 0.70)\n' "burners / cp, mixed" "$(ratio "$cp_seconds" "$seconds")"
    printf '  %-44s %8s (goal: at least 0.70)\n' "burners / cp, images" "$(ratio "$cp_image_seconds" "$image_seconds")"
    printf '  %-44s %8s (goal: at least 0.90)\n' "burners / 6 dd at once, images" "$(ratio "$dd_image_seconds" "$image_seconds")"
}
