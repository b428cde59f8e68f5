# Sourced by bench/run: a 70-minute master audio CD copied onto two burners
# as the Copy card does it (a secure read into a BIN/CUE, then both burns,
# each copy compared with the master once burned), against cdrdao read-cd
# reading the same master and two cdrskin burning it side by side.
#
# The master: three tracks of generated audio (a tone, pink noise, a tone),
# a 2 s pre-gap before tracks 2 and 3, a catalogue number, ISRCs and CD-Text.
# Three runs of Tandor: virtual burners unthrottled and paced at their top CD
# speed (48x), and emulated drives through libburn. The emulated drives record
# in real time at their top speed, 52x (1x being 75 sectors, 176,400 bytes, a
# second); the master is written onto the first one 100 times faster than
# that, untimed. They answer READ CD as fast as their state files are read
# (no read speed is modelled), so read times measure the reading programs and
# the disk, not a drive.
#
# Each figure is one run: a paced burn takes minutes. TANDOR_MASTER_MINUTES
# makes a shorter master for a quick try.

bench_master() {
    build bench_master tandor_mmc_preload
    scratch
    local preload="$build/tests/support/mmc/libtandor_mmc_preload.so"
    local minutes=${TANDOR_MASTER_MINUTES:-70}
    local third=$((minutes * 20 * 75)) i
    local sectors=$((3 * third))

    echo "Making a ${minutes}-minute master: three tracks of generated audio and their BIN/CUE..."
    local sources=("sine=frequency=440:sample_rate=44100" "anoisesrc=color=pink:sample_rate=44100:amplitude=0.3"
        "sine=frequency=660:sample_rate=44100")
    : >"$work/master.bin"
    for i in 0 1 2; do
        ffmpeg -v error -y -f lavfi -i "${sources[$i]}" -t $((third / 75)) -ac 2 -f s16le -c:a pcm_s16le "$work/track.raw"
        truncate -s $((third * 2352)) "$work/track.raw"
        cat "$work/track.raw" >>"$work/master.bin"
    done
    rm "$work/track.raw"
    msf() { printf '%02d:%02d:%02d' $(($1 / 4500)) $(($1 / 75 % 60)) $(($1 % 75)); }
    {
        printf 'CATALOG 4006381333931\nPERFORMER "The Bench Ensemble"\nTITLE "Seventy Minutes"\n'
        printf 'FILE "master.bin" BINARY\n'
        printf 'TRACK 01 AUDIO\nTITLE "Tone"\nSONGWRITER "A. Generator"\nISRC DEA122600001\nINDEX 01 00:00:00\n'
        printf 'TRACK 02 AUDIO\nTITLE "Noise"\nISRC DEA122600002\nINDEX 00 %s\nINDEX 01 %s\n' \
            "$(msf $third)" "$(msf $((third + 150)))"
        printf 'TRACK 03 AUDIO\nTITLE "Tone Again"\nMESSAGE "Generated"\nISRC DEA122600003\nINDEX 00 %s\nINDEX 01 %s\n' \
            "$(msf $((2 * third)))" "$(msf $((2 * third + 150)))"
    } >"$work/master.cue"
    cat "$work/master.bin" >/dev/null

    # Figures of one run of bench_master, as "read burn", "- -" when it failed.
    local out
    tandor() {
        local label=$1
        shift
        echo "Tandor, $label..."
        if out=$("$@" 2>&1); then
            echo "$out" | sed 's/^/  /'
            echo "$(sed -n 's/^read=//p' <<<"$out") $(sed -n 's/^burn=//p' <<<"$out")" >"$work/figures.$label"
        else
            echo "$out" | sed 's/^/  /' | tail -15
            echo "- -" >"$work/figures.$label"
        fi
    }
    tandor virtual-fast "$build/bench/bench_master" "$work/run" "$work/master.cue" fast
    rm -rf "$work/run"
    tandor virtual-paced "$build/bench/bench_master" "$work/run" "$work/master.cue" paced
    rm -rf "$work/run"

    # A drive's state folder with its time factor and a 4 MiB buffer.
    drive() {
        mkdir -p "$1"
        printf 'time_factor=%s\nbuffer_kib=4096\n' "$2" >"$1/drive.conf"
    }
    # -force: cdrskin sizes an audio session in 2048-byte blocks (bytes / 2048),
    # so it calls 70 minutes too large for an 80-minute CD-R.
    echo "cdrskin writes the master onto the first emulated drive (untimed)..."
    drive "$work/master" 100
    (cd "$work" && TANDOR_EMULATED_DRIVES="/dev/sr50=CD-R@$work/master" LD_PRELOAD=$preload \
        cdrskin dev=/dev/sr50 speed=any gracetime=0 -force -sao -text cuefile=master.cue >"$work/mastering.log" 2>&1) || {
        tail -10 "$work/mastering.log"
        return 1
    }
    drive "$work/master" 1
    local held="/dev/sr50=disc@$work/master"

    drive "$work/tandor/d1" 1
    drive "$work/tandor/d2" 1
    tandor emulated env TANDOR_EMULATED_DRIVES="$held;/dev/sr51=CD-R@$work/tandor/d1;/dev/sr52=CD-R@$work/tandor/d2" \
        LD_PRELOAD="$preload" QT_QPA_PLATFORM=offscreen \
        "$build/bench/bench_master" "$work/run" "$work/master.cue" /dev/sr50 /dev/sr51 /dev/sr52
    rm -rf "$work/run" "$work/tandor"

    echo "cdrdao read-cd reads the master..."
    local start end cdrdao_read=- cdrskin_burn=-
    start=$(date +%s%N)
    if (cd "$work" && TANDOR_EMULATED_DRIVES=$held LD_PRELOAD=$preload \
        cdrdao read-cd --device /dev/sr50 --datafile base.bin base.toc >"$work/cdrdao.log" 2>&1); then
        end=$(date +%s%N)
        cdrdao_read=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e9 }')
    else
        tail -10 "$work/cdrdao.log"
    fi
    rm -f "$work/base.bin"

    echo "cdrskin: two processes burn the master side by side..."
    local pids=() failed=0 p
    start=$(date +%s%N)
    for i in 1 2; do
        drive "$work/cdrskin/d$i" 1
        (cd "$work" && TANDOR_EMULATED_DRIVES="/dev/sr5$i=CD-R@$work/cdrskin/d$i" LD_PRELOAD=$preload \
            cdrskin dev=/dev/sr5$i speed=any gracetime=0 -force -sao -text cuefile=master.cue >"$work/cdrskin$i.log" 2>&1) &
        pids+=($!)
    done
    for p in "${pids[@]}"; do
        wait "$p" || failed=1
    done
    end=$(date +%s%N)
    if ((failed)); then
        tail -5 "$work"/cdrskin*.log
    else
        cdrskin_burn=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e9 }')
    fi
    rm -rf "$work/cdrskin"

    local fr fb pr pb er eb
    read -r fr fb <"$work/figures.virtual-fast"
    read -r pr pb <"$work/figures.virtual-paced"
    read -r er eb <"$work/figures.emulated"
    ideal() { awk -v s=$((sectors * 2352)) -v rate="$1" 'BEGIN { printf "%.1f", s / rate }'; }
    share() { if [[ $1 == - || $2 == - ]]; then echo -; else echo "$(ratio "$1" "$2")x"; fi; }
    echo
    echo "A ${minutes}-minute master read, then burned onto two burners at their top speed,"
    echo "each copy compared with the master (seconds, from the jobs' start to their end):"
    printf '  %-40s %8s %8s\n' "" read burn
    printf '  %-40s %8s %8s\n' "Tandor, virtual burners, unthrottled" "$fr" "$fb"
    printf '  %-40s %8s %8s\n' "Tandor, virtual burners at 48x" "$pr" "$pb"
    printf '  %-40s %8s %8s\n' "  (the disc alone at 48x)" "" "$(ideal $((48 * 176400)))"
    printf '  %-40s %8s %8s\n' "Tandor, emulated drives at 52x" "$er" "$eb"
    printf '  %-40s %8s %8s\n' "cdrdao read-cd; two cdrskin at 52x" "$cdrdao_read" "$cdrskin_burn"
    printf '  %-40s %8s %8s\n' "  (the disc alone at 52x)" "" "$(ideal 9173000)"
    printf '  %-40s %8s %8s\n' "ours / baseline, emulated" "$(share "$er" "$cdrdao_read")" "$(share "$eb" "$cdrskin_burn")"
    echo "  (cdrdao reads with paranoia, mode 3; cdrskin doesn't compare its copies)"
    echo "  (no read speed is modelled: the reads measure the programs and the disk, not a drive)"
    local why=()
    [[ $fr != - && $pr != - && $er != - ]] || why+=("a Tandor run failed")
    [[ $cdrdao_read != - && $cdrskin_burn != - ]] || why+=("a baseline failed")
    if ((${#why[@]} == 0)); then
        awk -v a="$er" -v b="$cdrdao_read" 'BEGIN { exit !(a <= b) }' ||
            why+=("the read is slower than cdrdao's")
        awk -v a="$eb" -v b="$cdrskin_burn" 'BEGIN { exit !(a <= 1.25 * b) }' ||
            why+=("burning and comparing takes over 1.25x cdrskin's burns alone")
    fi
    local verdict=met
    ((${#why[@]} == 0)) || verdict="missed: $(IFS=';'; echo "${why[*]}" | sed 's/;/; /g')"
    echo "  goal: the secure read no slower than cdrdao's, burns with comparisons within 1.25x of cdrskin's"
    echo "  verdict: $verdict"
}
