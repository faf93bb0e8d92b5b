#!/usr/bin/env bash
# Holds the product code's #include lines to the layers of docs/ARCHITECTURE.md.
# The rules are read from that page, nowhere else: the boxes and arrows of its
# layer drawing (each box names the files it holds, an include from one box
# into another needs an arrow between them, every arrow stands for at least
# one include, and the arrows may not form a circle) and its table of the
# headers only some places may include (Qt's modules, libjpeg, termios).
# Every include the page does not allow is named with its file and line, and
# the check fails.
#   scripts/check-layers.sh [ROOT]    (ROOT: a checkout, by default this one)
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
document=docs/ARCHITECTURE.md
[ -f "$root/$document" ] || { echo "check-layers: $root/$document is missing"; exit 2; }

declare -A box_of_prefix=() arrows=() used=() places_of=() qt_module_of=() ui_file_of=()
boxes=()
faults=0
fault() {
    echo "$*"
    faults=$((faults + 1))
}
# The rules themselves are wrong: nothing can be checked against them.
refuse() {
    echo "check-layers: $document: $1"
    exit 2
}

# --- The drawing: the first mermaid flowchart of the page.
in_drawing=0
drawing_seen=0
while IFS= read -r text; do
    if [ "$in_drawing" = 0 ]; then
        [[ $drawing_seen = 0 && $text == '```mermaid' ]] && in_drawing=1
        continue
    fi
    [[ $text == '```' ]] && break
    if [[ $text =~ ^[[:space:]]*flowchart ]]; then
        drawing_seen=1
    elif [[ $text =~ ^[[:space:]]*([A-Za-z_]+)\[\"([^\"]*)\"\][[:space:]]*$ ]]; then
        box=${BASH_REMATCH[1]}
        label=${BASH_REMATCH[2]}
        [[ $label == *" — "* ]] || refuse "the box $box does not name its files before \" — \""
        boxes+=("$box")
        IFS=',' read -ra prefixes <<<"${label%% — *}"
        for prefix in "${prefixes[@]}"; do
            prefix=${prefix# }
            [[ $prefix == */* ]] || refuse "the box $box holds \"$prefix\", which is no path"
            box_of_prefix[$prefix]=$box
        done
    elif [[ $text =~ ^[[:space:]]*([A-Za-z_ \&]+)--\>([A-Za-z_ \&]+)$ ]]; then
        for from in ${BASH_REMATCH[1]//&/ }; do
            for to in ${BASH_REMATCH[2]//&/ }; do
                arrows["$from>$to"]=1
            done
        done
    elif [[ -n ${text// /} ]]; then
        refuse "the drawing's line \"$text\" is neither a box nor an arrow"
    fi
done <"$root/$document"
[ "$drawing_seen" = 1 ] && [ ${#boxes[@]} -gt 0 ] || refuse "no mermaid flowchart with boxes"

is_box() {
    local box
    for box in "${boxes[@]}"; do [ "$box" = "$1" ] && return 0; done
    return 1
}
for arrow in "${!arrows[@]}"; do
    is_box "${arrow%>*}" && is_box "${arrow#*>}" || refuse "the arrow ${arrow/>/ --> } joins no box"
done
if ! loop=$(for arrow in "${!arrows[@]}"; do echo "${arrow/>/ }"; done | tsort 2>&1 >/dev/null | sed 's/^tsort: //' | tr '\n' ' '); then
    refuse "the drawing's arrows run in a circle: $loop"
fi

# --- The table of headers: rows "| `<header>` or `QtModule` | `box`, `path`… |".
in_table=0
while IFS= read -r text; do
    if [[ $text =~ ^\|[[:space:]]*header[[:space:]]*\|[[:space:]]*only\ in ]]; then
        in_table=1
        continue
    fi
    [ "$in_table" = 1 ] || continue
    [[ $text == \|* ]] || break
    [[ $text =~ ^\|[-\|]+$ ]] && continue
    IFS='|' read -r _ what where _ <<<"$text"
    names=$(grep -o '`[^`]*`' <<<"$what" | tr -d '`') || refuse "a row of the header table names no header"
    allowed=$(grep -o '`[^`]*`' <<<"$where" | tr -d '`' | tr '\n' ' ') || true
    for place in $allowed; do
        if [[ $place == */* ]]; then
            [ -e "$root/$place" ] || refuse "the header table names $place, which is not in the tree"
        else
            is_box "$place" || refuse "the header table names $place, which is no box of the drawing"
        fi
    done
    for name in $names; do places_of[$name]=$allowed; done
done <"$root/$document"
[ ${#places_of[@]} -gt 0 ] || refuse "no table with the columns \"header\" and \"only in\""

# --- Where Qt's headers live, to tell a module by a header's name (into $module).
qt_headers=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null) || qt_headers=
[ -d "$qt_headers/QtCore" ] || {
    echo "check-layers: Qt's headers are not installed (scripts/install-deps.sh installs them)"
    exit 2
}
qt_module() {
    local header=$1 folder
    if [[ $header == */* ]]; then
        qt_module_of[$header]=${header%%/*}
    elif [ -z "${qt_module_of[$header]+set}" ]; then
        qt_module_of[$header]=
        for folder in "$qt_headers"/Qt*/; do
            folder=${folder%/}
            [ -f "$folder/$header" ] && { qt_module_of[$header]=${folder##*/}; break; }
        done
    fi
    module=${qt_module_of[$header]}
}

# The box a file belongs to: the one naming the longest path it begins with.
box_of() {
    local path=$1 prefix best=
    box=
    for prefix in "${!box_of_prefix[@]}"; do
        if [[ $path == "$prefix"* && ${#prefix} -gt ${#best} ]]; then
            best=$prefix
            box=${box_of_prefix[$prefix]}
        fi
    done
}
allowed_in() {
    local path=$1 place
    box_of "$path"
    for place in ${places_of[$2]}; do
        if [[ $place == */* ]]; then
            [[ $path == "$place"* ]] && return 0
        elif [ "$place" = "$box" ]; then
            return 0
        fi
    done
    return 1
}

# --- The product code: every file in the folders the drawing's boxes name.
mapfile -t folders < <(for prefix in "${!box_of_prefix[@]}"; do echo "${prefix%%/*}"; done | sort -u)
mapfile -t sources < <(cd "$root" && find "${folders[@]}" -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.ui' \) | sort)
for path in "${sources[@]}"; do
    [[ $path == *.ui ]] && ui_file_of["ui_$(basename "$path" .ui).h"]=$path
done

include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
for path in "${sources[@]}"; do
    [[ $path == *.ui ]] && continue
    box_of "$path"
    from=$box
    number=0
    while IFS= read -r text; do
        number=$((number + 1))
        [[ $text =~ $include_pattern ]] || continue
        header=${BASH_REMATCH[2]}
        if [ "${BASH_REMATCH[1]}" = '"' ]; then
            folder=$(dirname "$path")
            if [ -f "$root/$folder/$header" ]; then
                target=$folder/$header
                [[ $target == *../* ]] && target=$(realpath -m --relative-to="$root" "$root/$target")
            elif [ -f "$root/$header" ]; then
                target=$header
            elif [ -n "${ui_file_of[$header]+set}" ]; then
                target=${ui_file_of[$header]} # made from the Designer file at build time
            elif [[ $header == *.moc ]]; then
                continue # moc's output for this very file
            else
                fault "$path:$number: #include \"$header\" is not a file of the tree"
                continue
            fi
            box_of "$target"
            [ "$box" = "$from" ] && continue
            if [ -n "${arrows["$from>$box"]+set}" ]; then
                used["$from>$box"]=1
            else
                fault "$path:$number: #include \"$header\": $from may not use $box" \
                    "(no arrow $from --> $box in $document)"
            fi
            continue
        fi
        rule="<$header>"
        if [ -z "${places_of[$rule]+set}" ] && [[ $header == Q* ]]; then
            qt_module "$header"
            [ -n "$module" ] && rule=$module
        fi
        [ -n "${places_of[$rule]+set}" ] || {
            [[ $rule == Qt* ]] && fault "$path:$number: #include <$header>: $rule has no row in $document"
            continue
        }
        allowed_in "$path" "$rule" ||
            fault "$path:$number: #include <$header>: $rule only in ${places_of[$rule]% } ($document)"
    done <"$root/$path"
done

# The drawing shows what is, not what might be: an arrow no include takes.
for arrow in "${!arrows[@]}"; do
    [ -n "${used[$arrow]+set}" ] ||
        fault "$document: the arrow ${arrow/>/ --> } stands for no include: take it out"
done

if [ "$faults" -gt 0 ]; then
    echo "check-layers: $faults include(s) the layers of $document do not allow"
    exit 1
fi
echo "Layers: the includes of ${#sources[@]} files keep to $document."
