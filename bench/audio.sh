# Audio preparation against the command line. Sourced by bench/run, which
# provides build, scratch, best_of, ratio, $build and $runs.
#
# The disc: 20 tracks of 4 minutes (80 minutes), FLAC, MP3 and M4A, some at
# 48 kHz, one mono, each at its own level so loudness matching has work to
# do. Baseline: `ffmpeg -i TRACK -f s16le -ar 44100 -ac 2 OUT` over every
# track one after the other, which converts but matches no loudness.

audio_track_seconds=240

# make_audio_track INDEX DIR: writes one track and prints nothing.
make_audio_track() {
    local i=$1 dir=$2 rate=44100 ext codec
    case $((i % 3)) in
    0) ext=flac codec=(-c:a flac) ;;
    1) ext=mp3 codec=(-c:a libmp3lame -b:a 192k) ;;
    2) ext=m4a codec=(-c:a aac -b:a 192k) ;;
    esac
    if ((i % 4 == 1)); then rate=48000; fi
    local pan="pan=stereo|c0=0.6*c0+c1|c1=0.5*c0+c1"
    if ((i == 7)); then pan="pan=mono|c0=0.6*c0+c1"; fi
    local freq=$((110 + 37 * i)) volume
    volume=$(awk -v i="$i" 'BEGIN { printf "%.2f", 0.25 + 0.7 * ((i * 7) % 20) / 20 }')
    ffmpeg -nostdin -v error -y -filter_complex \
        "sine=f=$freq:r=$rate:d=$audio_track_seconds[s];anoisesrc=c=pink:r=$rate:d=$audio_track_seconds:a=0.15:seed=$i[n];[s][n]amerge=inputs=2,$pan,volume=$volume" \
        "${codec[@]}" "$dir/$(printf 'track%02d' "$i").$ext"
}

bench_audio() {
    command -v ffmpeg >/dev/null || { echo "bench audio needs the ffmpeg command-line tool" >&2; exit 1; }
    build bench_audio
    scratch
    local disc="$work/disc" out="$work/out"
    mkdir -p "$disc" "$out" "$work/cache"
    echo "Making an 80-minute disc of 20 tracks..."
    export -f make_audio_track
    export audio_track_seconds
    seq 0 19 | xargs -P 2 -I{} bash -c 'make_audio_track {} "$0"' "$disc"
    local tracks=("$disc"/track*)
    cat "${tracks[@]}" >/dev/null

    local baseline_cmd="" i=0
    for t in "${tracks[@]}"; do
        baseline_cmd+="ffmpeg -nostdin -v error -y -i '$t' -f s16le -ar 44100 -ac 2 '$out/$i.raw'; "
        i=$((i + 1))
    done

    # One baseline run, then one of ours, $runs times: on a shared machine the
    # load changes by the minute, and alternating gives both the same share.
    # Processor time (user + system) is shown too: it doesn't depend on load.
    local baseline="" ours="" peak=0 base_cpu="" our_cpu="" result real user sys s p c
    for ((r = 0; r < runs; r++)); do
        read -r real user sys < <(TIMEFORMAT='%R %U %S'; { time bash -c "$baseline_cmd" >/dev/null 2>&1; } 2>&1)
        rm -f "$out"/*.raw
        result=$(XDG_CACHE_HOME="$work/cache" "$build/bench/bench_audio" 1 "${tracks[@]}")
        s=$(sed -n 's/^seconds=//p' <<<"$result")
        p=$(sed -n 's/^peak_rss_mb=//p' <<<"$result")
        c=$(sed -n 's/^cpu_seconds=//p' <<<"$result")
        printf '  run %d: ours %s s (%s s cpu), baseline %s s (%s s cpu)\n' $((r + 1)) "$s" "$c" "$real" \
            "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')"
        if [[ -z $baseline ]] || awk -v a="$real" -v b="$baseline" 'BEGIN { exit !(a < b) }'; then
            baseline=$real base_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
        fi
        if [[ -z $ours ]] || awk -v a="$s" -v b="$ours" 'BEGIN { exit !(a < b) }'; then ours=$s our_cpu=$c; fi
        peak=$(awk -v a="$p" -v b="$peak" 'BEGIN { print (a > b ? a : b) }')
    done

    echo
    echo "80 minutes, 20 tracks, cached, best of $runs:"
    printf '  %-36s %8s s  (%s s processor time)\n' "AudioPrep::prepare (loudness on)" "$ours" "$our_cpu"
    printf '  %-36s %8s s  (%s s processor time)\n' "ffmpeg -i T -f s16le ... per track" "$baseline" "$base_cpu"
    printf '  %-36s %8s MB (goal: under 256)\n' "peak RSS of the preparation" "$peak"
    printf '  %-36s %8s x (goal: at least 1.00)\n' "baseline / ours" "$(ratio "$baseline" "$ours")"
}
