# bash completion for treepak: options, then directories and cabinet files.
_treepak() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local opts="-X -V -R -R- -D -F -NOLOGO -COMPRESS -NOCOMPRESS -NOCOMPRESSKVF -AUTOCOMPRESS -BATCH"
    local i
    # Options are read only before the first non-option argument.
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} != -* ]] && { _treepak_paths "$cur"; return; }
    done
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    else
        _treepak_paths "$cur"
    fi
}
_treepak_paths() {
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$1") $(compgen -f -X '!*.[cC][aA][bB]' -- "$1"))
}
complete -F _treepak treepak
