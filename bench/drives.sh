# Sourced by bench/run: six emulated burners at their top speed in real time,
# measured by the drives' own 4 MiB buffers, against six cdrskin processes
# burning the same discs side by side on the same emulated drives.
#
# Sizes give every drive about 20 s of recording at its top speed: 18 minutes
# of audio per CD at 52x (190 MB), 450 MB per DVD-R at 16x, 1.1 GB per BD-R at
# 12x. While Tandor burns, its queue hashes a sparse 4 GiB file (its holes
# read as zeros, so that costs CPU, MD5 and SHA-256, and no disk); beside the
# six cdrskin, md5sum and sha256sum hash the same file.

# A drive's figures over all its recordings: the speed (kB/s), the lowest
# fill (%), the times its buffer ran dry (underruns, and BURN-Free pauses,
# which are the same event on a drive that can link on), and how long a pause
# in the feed that lowest fill amounts to (ms). "-" when it recorded nothing.
drive_figures() {
    awk -v buffer=$((4096 * 1024)) '
        { for (f = 1; f <= NF; f++) { split($f, kv, "="); v[kv[1]] = kv[2] }
          n++; if (n == 1 || v["lowest_fill"] < low) low = v["lowest_fill"]
          dry += v["underruns"] + v["burnfree"]; speed = v["speed"] }
        END { if (n) printf "%d %.0f %d %.0f\n", speed, low * 100, dry, (1 - low) * buffer / speed
              else print "- - - -" }' "$1" 2>/dev/null || echo "- - - -"
}

bench_drives() {
    build bench_drives tandor_mmc_preload
    scratch
    local preload="$build/tests/support/mmc/libtandor_mmc_preload.so"
    local media=(CD-R CD-R DVD-R DVD-R BD-R BD-R)
    local speeds=(52x 52x 16x 16x 12x 12x)

    echo "Making two 9-minute FLAC tracks and their WAVs, two images (450 MB, 1.1 GB), a sparse 4 GiB file..."
    local i flacs=() wavs=()
    for i in 1 2; do
        ffmpeg -v error -y -f lavfi -i "sine=frequency=$((300 * i)):duration=540:sample_rate=44100" -ac 2 \
            "$work/track$i.flac"
        ffmpeg -v error -y -i "$work/track$i.flac" "$work/track$i.wav"
        flacs+=("$work/track$i.flac")
        wavs+=("$work/track$i.wav")
    done
    head -c $((220000 * 2048)) /dev/urandom >"$work/dvd.iso"
    head -c $((540000 * 2048)) /dev/urandom >"$work/bd.iso"
    truncate -s 4G "$work/hash.bin"
    cat "$work"/*.flac "$work"/*.wav "$work"/*.iso >/dev/null

    # Fresh drives for one side: real time, a 4 MiB buffer, a blank disc each.
    drives_for() {
        local side=$1 entries=() d
        for i in "${!media[@]}"; do
            d="$work/$side/drive$i"
            mkdir -p "$d"
            printf 'time_factor=1\nbuffer_kib=4096\n' >"$d/drive.conf"
            entries+=("/dev/sr$((50 + i))=${media[$i]}@$d")
        done
        local IFS=';'
        echo "${entries[*]}"
    }

    echo "Tandor: six burns at once through the hardware service, and a checksum in the queue..."
    local start end out
    start=$(date +%s%N)
    out=$(TANDOR_EMULATED_DRIVES=$(drives_for tandor) LD_PRELOAD=$preload QT_QPA_PLATFORM=offscreen \
        "$build/bench/bench_drives" "$work/run" "$work/hash.bin" "$work/dvd.iso" "$work/bd.iso" "${flacs[@]}") || {
        out+=$'\nbench_drives failed: the table shows what the drives recorded. The burn log ends:\n'
        out+=$(tail -15 "$work/run/log.txt" 2>/dev/null)
    }
    end=$(date +%s%N)
    echo "$out"
    local tandor_seconds=$(((end - start) / 1000000000))
    rm -f "$work"/tandor/drive*/sectors.bin

    echo "cdrskin: six processes side by side, and md5sum then sha256sum of the same file..."
    drives_for cdrskin >/dev/null
    local pids=() args hashing
    start=$(date +%s%N)
    # The same load beside the burns as the queue's checksum put beside Tandor's.
    { md5sum "$work/hash.bin" && sha256sum "$work/hash.bin"; } >/dev/null &
    hashing=$!
    for i in "${!media[@]}"; do
        case ${media[$i]} in
        CD-R) args=(-sao -audio "${wavs[@]}") ;;
        DVD-R) args=("$work/dvd.iso") ;;
        BD-R) args=("$work/bd.iso") ;;
        esac
        TANDOR_EMULATED_DRIVES="/dev/sr$((50 + i))=${media[$i]}@$work/cdrskin/drive$i" LD_PRELOAD=$preload \
            cdrskin dev=/dev/sr$((50 + i)) speed=any gracetime=0 "${args[@]}" >"$work/cdrskin$i.log" 2>&1 &
        pids+=($!)
    done
    local status=() p
    for p in "${pids[@]}"; do
        if wait "$p"; then status+=(ok); else status+=("failed ($?)"); fi
    done
    end=$(date +%s%N)
    wait "$hashing"
    local cdrskin_seconds=$(((end - start) / 1000000000))
    rm -f "$work"/cdrskin/drive*/sectors.bin
    for i in "${!status[@]}"; do
        echo "cdrskin $i: ${status[$i]}"
        [[ ${status[$i]} == ok ]] || tail -5 "$work/cdrskin$i.log"
    done


    echo
    echo "Six emulated burners at their top speed, real time, 4 MiB drive buffer"
    echo "(all six done in ${tandor_seconds} s by Tandor, ${cdrskin_seconds} s by cdrskin):"
    printf '  %-10s %-6s %5s   %-22s   %-22s\n' "" "" "" "Tandor" "cdrskin"
    printf '  %-10s %-6s %5s   %6s %4s %8s   %6s %4s %8s\n' drive medium speed low dry gap low dry gap
    local ts tl td tg cs cl cdry cg fifo_sleep=0 worst_t=100 worst_c=100 dry_t=0 dry_c=0 ok=1
    for i in "${!media[@]}"; do
        read -r ts tl td tg <<<"$(drive_figures "$work/tandor/drive$i/writes.log")"
        read -r cs cl cdry cg <<<"$(drive_figures "$work/cdrskin/drive$i/writes.log")"
        printf '  %-10s %-6s %5s   %5s%% %4s %5s ms   %5s%% %4s %5s ms\n' "/dev/sr$((50 + i))" "${media[$i]}" \
            "${speeds[$i]}" "$tl" "$td" "$tg" "$cl" "$cdry" "$cg"
        [[ $tg == - ]] || ((tg < 40 || tg > 70)) || fifo_sleep=1
        if [[ $tl == - ]]; then ok=0; else
            ((tl < worst_t)) && worst_t=$tl
            dry_t=$((dry_t + td))
        fi
        if [[ $cl != - ]]; then
            ((cl < worst_c)) && worst_c=$cl
            dry_c=$((dry_c + cdry))
        fi
    done
    echo "  (low: the lowest buffer fill while recording; dry: underruns and BURN-Free pauses;"
    echo "   gap: the pause in the feed at top speed that drains the buffer that far)"
    local verdict=met why=()
    ((ok)) || why+=("a Tandor drive recorded nothing")
    ((dry_t == 0)) || why+=("Tandor's buffers ran dry $dry_t times")
    ((worst_t >= 50)) || why+=("Tandor's lowest fill is ${worst_t} %, under 50 %")
    ((worst_t >= worst_c && dry_t <= dry_c)) || why+=("worse than cdrskin (lowest ${worst_c} %, dry ${dry_c} times)")
    ((${#why[@]} == 0)) || verdict="missed: $(IFS=';'; echo "${why[*]}" | sed 's/;/; /g')"
    echo "  goal: no underrun, lowest fill at least 50 %, no worse than six cdrskin"
    echo "  verdict: $verdict"
    if ((fifo_sleep)); then
        echo "  A gap near 50 ms is libburn's writer finding its fifo empty: it then sleeps 50 ms."
        echo "  That happens once the drive's buffer has swallowed a fifo no larger than itself,"
        echo "  and on an audio CD when the next track's fifo starts only as the track is reached."
    fi
}
