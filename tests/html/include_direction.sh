#!/bin/bash
# Checks that the stages of html/ include one another in one direction only:
# parser -> document -> layout -> paint. A stage may include itself and the
# stages after it, never one before it; common/ and images/ sit below every
# stage and include nothing of them; render/ (the off-screen road through
# all stages) and viewer/ sit above. Prints every include that goes the
# wrong way and fails when there is one.
#
#   include_direction.sh HTML_FOLDER
set -u
root=${1:?usage: include_direction.sh HTML_FOLDER}

declare -A allowed=(
    [common]="common"
    [images]="images"
    [paint]="paint common images"
    [layout]="layout paint common images"
    [document]="document layout paint common images"
    [parser]="parser document layout paint common images"
    [render]="render parser document layout paint common images"
    [viewer]="viewer render parser document layout paint common images"
)

bad=0
checked=0
for dir in "$root"/*/; do
    stage=$(basename "$dir")
    if [ -z "${allowed[$stage]+set}" ]; then
        echo "html/$stage: a folder the direction rule does not know; add it to $0"
        bad=1
        continue
    fi
    while IFS= read -r hit; do
        file=${hit%%:*}
        target=$(sed -E 's|.*#include "html/([^/"]+)/.*|\1|' <<<"$hit")
        if [[ " ${allowed[$stage]} " != *" $target "* ]]; then
            echo "${file#"$root"/}: includes html/$target/ (html/$stage/ may include: ${allowed[$stage]})"
            bad=1
        fi
        checked=$((checked + 1))
    done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"html/[^/"]+/' "$dir" \
                 --include='*.h' --include='*.cpp')
done

if [ "$checked" -eq 0 ]; then
    echo "no includes found under $root"
    exit 1
fi
[ "$bad" -eq 0 ] && echo "$checked includes keep the direction"
exit "$bad"
