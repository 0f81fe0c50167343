#!/usr/bin/env bash
# A library converted with scripts/library (GNU parallel on this machine and over ssh to localhost, and a
# Slurm array as a dry run), resumed after a PDF went missing, and the file managers' Convert to PDF.
#   recipes.sh SOURCE_DIR EPUB2PDF SAMPLE.epub
# Exits 77 (skipped) without parallel or jq. The ssh part needs sshd and is left out, saying why,
# when it cannot start one of its own.
set -euo pipefail
source=$1 sample=$3
export EPUB2PDF=$2
for tool in parallel jq qpdf python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
scripts=$source/scripts/library
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

scratch=$(mktemp -d)
sshd_pid=
cleanup() {
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export XDG_CACHE_HOME=$scratch/cache XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Three good books (one in a folder whose name has a space), one that is no ZIP archive (refused before
# it converts) and one ZIP archive without a package document (fails converting).
library=$scratch/library output=$scratch/pdf
mkdir -p "$library/novels" "$library/poems and songs"
cp "$sample" "$library/novels/a.epub"
cp "$sample" "$library/poems and songs/b c.epub"
cp "$sample" "$library/top.epub"
printf 'not an archive' >"$library/novels/broken.epub"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").writestr("mimetype", "application/epub+zip")' \
    "$library/no-package.epub"
good=("novels/a" "poems and songs/b c" "top")

failures_are_the_two_broken_books() {
    jq -e 'length == 2 and
           ([.[] | .input | split("/") | last] | sort) == ["broken.epub", "no-package.epub"] and
           ([.[] | .status] | sort) == ["error", "failed"] and all(.[]; .reason != "")' \
        "$output/failures.json" >/dev/null || fail "failures.json: $(cat "$output/failures.json")"
}

# One machine.
status=0
bash "$scripts/parallel.sh" "$library" "$output" --jobs 2 || status=$?
[ "$status" -eq 2 ] || fail "parallel.sh exited $status, not 2 (the two failed books)"
for book in "${good[@]}"; do
    qpdf --check "$output/$book.pdf" >/dev/null || fail "$book.pdf does not check clean"
done
failures_are_the_two_broken_books
[ "$(jq -s 'map(select(.status == "converted")) | length' "$output/results.jsonl")" -eq 3 ] ||
    fail "results.jsonl: $(cat "$output/results.jsonl")"

# Resumed: only the missing PDF is made again (the broken books are tried again, and fail again).
rm "$output/novels/a.pdf"
touch -d 2001-01-01 "$output/top.pdf" "$output/poems and songs/b c.pdf"
bash "$scripts/parallel.sh" "$library" "$output" --jobs 2 || true
[ "$(jq -r 'select(.status == "converted") | .input' "$output/results.jsonl")" = "$library/novels/a.epub" ] ||
    fail "the resumed run converted: $(cat "$output/results.jsonl")"
{ [ "$(stat -c %y "$output/top.pdf")" = "$(stat -c %y "$output/poems and songs/b c.pdf")" ] &&
    [ "$(date -r "$output/top.pdf" +%Y)" = 2001 ]; } || fail "the resumed run touched a PDF that existed"
qpdf --check "$output/novels/a.pdf" >/dev/null
failures_are_the_two_broken_books

# Across machines: localhost over ssh, through an sshd of this test's own on a free port.
start_sshd() {
    local sshd=/usr/sbin/sshd dir=$scratch/ssh port
    [ -x "$sshd" ] || { echo "sshd is not installed (openssh-server)"; return 1; }
    if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
        echo "sshd runs as root here and its privilege separation folder /run/sshd is missing"
        return 1
    fi
    mkdir -m 700 "$dir"
    ssh-keygen -q -t ed25519 -N '' -f "$dir/host" && ssh-keygen -q -t ed25519 -N '' -f "$dir/id"
    printf 'environment="HOME=%s" %s\n' "$HOME" "$(cat "$dir/id.pub")" >"$dir/authorized_keys"
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat >"$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
HostKey $dir/host
AuthorizedKeysFile $dir/authorized_keys
PidFile $dir/sshd.pid
PermitUserEnvironment yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
EOF
    cat >"$dir/ssh_config" <<EOF
Host localhost
  HostName 127.0.0.1
  Port $port
  IdentityFile $dir/id
  IdentitiesOnly yes
  BatchMode yes
  UserKnownHostsFile $dir/known_hosts
  StrictHostKeyChecking accept-new
EOF
    "$sshd" -D -e -f "$dir/sshd_config" </dev/null >/dev/null 2>"$dir/sshd.log" &
    sshd_pid=$!
    for _ in $(seq 50); do
        ssh -F "$dir/ssh_config" localhost true 2>/dev/null && return 0
        sleep 0.2
    done
    echo "sshd did not start: $(cat "$dir/sshd.log")"
    return 1
}
if start_sshd >"$scratch/why"; then
    rm "$output/top.pdf"
    bash "$scripts/parallel.sh" "$library" "$output" --ssh "ssh -F $scratch/ssh/ssh_config" \
        --sshlogin 2/localhost --env EPUB2PDF --env FONTCONFIG_FILE --env XDG_CONFIG_HOME --env XDG_DATA_HOME \
        --env XDG_CACHE_HOME --env XDG_RUNTIME_DIR || true
    qpdf --check "$output/top.pdf" >/dev/null || fail "top.pdf was not made over ssh"
    awk -F'\t' 'NR > 1 && $2 != "localhost" { exit 1 }' "$output/joblog" || fail "joblog: $(cat "$output/joblog")"
    failures_are_the_two_broken_books
    echo "parallel --sshlogin localhost: converted top.epub over ssh"
else
    echo "parallel --sshlogin localhost left out: $(cat "$scratch/why")"
    sshd_pid=
fi

# A Slurm array, as a dry run: two tasks of two books for the three books without a PDF, and nothing
# written.
bash -n "$scripts/convert-library.sbatch"
rm "$output/novels/a.pdf"
bash "$scripts/slurm.sh" --dry-run "$library" "$output" 2 >"$scratch/slurm.out"
grep -q -- "^sbatch --parsable --array=0-1 .*convert-library.sbatch" "$scratch/slurm.out" ||
    fail "slurm.sh: $(cat "$scratch/slurm.out")"
grep -q -- "--dependency=afterany:JOB" "$scratch/slurm.out" || fail "no job gathers the failures"
grep -o 'epub2pdf --json.*' "$scratch/slurm.out" | grep -o '[^/]*\.epub$' | sort >"$scratch/slurm.books"
[ "$(tr '\n' ' ' <"$scratch/slurm.books")" = "a.epub broken.epub no-package.epub " ] ||
    fail "the dry run converts: $(cat "$scratch/slurm.books")"
[ ! -e "$output/novels/a.pdf" ] || fail "the dry run wrote a PDF"

# Convert to PDF from a file manager, with a notification.
mkdir "$scratch/bin" "$scratch/selected"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' "$scratch/notified" >"$scratch/bin/notify-send"
chmod +x "$scratch/bin/notify-send"
cp "$sample" "$scratch/selected/chosen book.epub"
cp "$library/novels/broken.epub" "$scratch/selected/"
action=$source/packaging/file-manager/convert-to-pdf
(cd "$scratch/selected" && LANG=C PATH=$scratch/bin:$PATH "$action" "chosen book.epub") ||
    fail "Convert to PDF of a good book failed"
qpdf --check "$scratch/selected/chosen book.pdf" >/dev/null
{ grep -qx "Converted to PDF" "$scratch/notified" && grep -q "chosen book.pdf" "$scratch/notified"; } ||
    fail "notification: $(cat "$scratch/notified")"
rm "$scratch/notified"
status=0
(cd "$scratch/selected" && LANG=zh_CN.UTF-8 PATH=$scratch/bin:$PATH "$action" broken.epub) || status=$?
[ "$status" -ne 0 ] || fail "Convert to PDF of a broken book succeeded"
{ grep -qx "转换失败" "$scratch/notified" && grep -q "broken.epub" "$scratch/notified"; } ||
    fail "notification: $(cat "$scratch/notified")"
echo "all recipes ran"
