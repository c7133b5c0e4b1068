# bash completion for cabread: options, the directory after -d, then files.
_cabread() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local opts="-l --list --json -t --test -x --extract -p --pipe -d --directory --keep
                -v --verbose -q --quiet -h --help --version"
    if [[ $prev == -d || $prev == --directory ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
    elif [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    else
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -F _cabread cabread
