# Sourced by the scripts: the folder that holds the build trees. It is build/ in the repository,
# unless something in build/ cannot be written by the current user (a tree made by root, say);
# then it is build-<user>/ beside it, so that such a tree never stops a later run.
build_base() {
    base="$1/build"
    if [ -e "$base" ] && [ -n "$(find "$base" ! -writable -print -quit 2>/dev/null || echo unreadable)" ]; then
        user=$(id -un)
        echo "build/ is not writable by $user (made by another user); building in build-$user/" >&2
        base="$1/build-$user"
    fi
    echo "$base"
}
