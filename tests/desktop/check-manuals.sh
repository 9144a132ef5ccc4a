#!/usr/bin/env bash
# The manual pages and the window programs' --help/--version, as a newcomer meets them:
# every page renders without a warning from man or groff; each names the other programs under
# SEE ALSO and every option and command that the program's own --help lists; brimwick and
# brimwick-zh answer --help and --version with status 0 without any display.
# Usage: check-manuals.sh <folder of the programs> <folder of the gzipped pages>
set -uo pipefail
bin="$1" man="$2"
programs=(brimwick brimwick-cli brimwick-sim)
failed=0
fail() { echo "check-manuals: $*" >&2; failed=1; }
# A page's source with its escaped minus signs as plain hyphens.
source_of() { zcat "$man/$1.1.gz" | sed 's/\\-/-/g; s/\\%//g'; }

for program in "${programs[@]}" brimwick-zh; do
    [ -f "$man/$program.1.gz" ] || { fail "no manual page for $program"; continue; }
    first="$(zcat "$man/$program.1.gz" | head -n1)"
    if [[ "$first" == .so\ man1/* ]]; then
        [ -f "$man/$(basename "${first#.so }").gz" ] || fail "$program.1 names a missing page"
        continue
    fi
    warnings="$( (MANWIDTH=80 man --warnings -E UTF-8 -l "$man/$program.1.gz" >/dev/null) 2>&1;
        zcat "$man/$program.1.gz" | groff -man -ww -z -Tutf8 2>&1)"
    [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
    see_also="$(source_of "$program" | sed -n '/^\.SH SEE ALSO/,/^\.SH/p')"
    for other in "${programs[@]}"; do
        [ "$other" = "$program" ] || grep -q "^\.BR $other (1)" <<<"$see_also" ||
            fail "$program.1 does not name $other(1) under SEE ALSO"
    done
done

# Every long option of a --help text, and for brimwick-cli every command with its own options.
options_of() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
check_options() { # page, then the --help output
    local page="$1" text
    text="$(source_of "$page")"
    while read -r option; do
        grep -qF -- "$option" <<<"$text" || fail "$page.1 does not describe $option"
    done < <(options_of <<<"$2")
}
check_options brimwick-sim "$("$bin/brimwick-sim" --help)"
cli_help="$("$bin/brimwick-cli" --help)"
check_options brimwick-cli "$cli_help"
commands="$(sed -n '/^Subcommands:/,/^$/p' <<<"$cli_help" | awk 'NR > 1 && NF {print $1}')"
[ -n "$commands" ] || fail "brimwick-cli --help lists no commands"
for command in $commands; do
    grep -qE "^\.BI? $command( |$)" <(source_of brimwick-cli) ||
        fail "brimwick-cli.1 does not describe the command $command"
    check_options brimwick-cli "$("$bin/brimwick-cli" "$command" --help)"
done

# No display of any kind: Qt would abort before the window's first line.
for case in "brimwick --version|^brimwick [0-9]" "brimwick-zh --version|^brimwick-zh [0-9]" \
    "brimwick --help|^Usage: brimwick \[FILE\]" "brimwick -h|^Usage: brimwick \[FILE\]" \
    "brimwick-zh --help|^用法：brimwick-zh \[文件\]"; do
    command="${case%%|*}" expected="${case#*|}"
    out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/"$command 2>&1)"
    status=$?
    [ "$status" -eq 0 ] || fail "$command ended with $status: $out"
    grep -qE -- "$expected" <<<"$out" || fail "$command printed: $out"
done
check_options brimwick "$("$bin/brimwick" --help)"

[ "$failed" -eq 0 ] && echo "check-manuals: every page and --help/--version passed"
exit "$failed"
