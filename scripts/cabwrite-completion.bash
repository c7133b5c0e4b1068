# bash completion for cabwrite: long and short options, the values some of
# them take, file lists and cabinets for the paths.
_cabwrite() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local opts="-L --files-from --strip-dirs -t --type -m --max-size -T --folder-threshold
        -f --folder-per-file -x --execute -X --execute-all --mtime --attributes
        --header-reserve --folder-reserve --data-reserve -s --set-id -d --disk
        -D --disk-pattern -n --next --force --dry-run -v --verbose -h --help --version"
    case $prev in
        -t|--type)
            COMPREPLY=($(compgen -W "none deflate lzx:15 lzx:16 lzx:17 lzx:18 lzx:19 lzx:20 lzx:21" -- "$cur"))
            return ;;
        --attributes)
            COMPREPLY=($(compgen -W "keep archive none" -- "$cur"))
            return ;;
        -L|--files-from)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        -m|--max-size|-T|--folder-threshold|--header-reserve|--folder-reserve|--data-reserve|\
        -s|--set-id|-x|--execute|-d|--disk|-D|--disk-pattern|-n|--next|--mtime)
            return ;;
    esac
    local i
    # After "--" every word is a path.
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && { _cabwrite_paths "$cur"; return; }
    done
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    else
        _cabwrite_paths "$cur"
    fi
}
_cabwrite_paths() {
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$1"))
}
complete -F _cabwrite cabwrite
