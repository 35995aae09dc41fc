# shellcheck shell=bash disable=SC2034
# Sourced by scripts/build and scripts/package: Debian's build flags (stack protector,
# fortified functions, RELRO and immediate binding), so that the tree the tests run in is
# the tree the package is made from. Sets C_FLAGS, CXX_FLAGS and LINK_FLAGS, and exports
# SOURCE_DATE_EPOCH (the date of the last commit: the same source gives the same build
# stamp and the same package).
debian_flags() {
    local root=$1
    local CPPFLAGS CFLAGS CXXFLAGS LDFLAGS
    export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
    eval "$(dpkg-buildflags --export=sh)"
    # __DATE__ is made reproducible by SOURCE_DATE_EPOCH, so its warning is left out.
    CPPFLAGS=${CPPFLAGS//-Wdate-time/}
    # The package's files are stripped: the debug information of Debian's -g would only be
    # compiled to be thrown away. Build types add what they need (-g1 for the tests).
    local word kept_c=() kept_cxx=()
    for word in $CFLAGS; do [ "$word" = -g ] || kept_c+=("$word"); done
    for word in $CXXFLAGS; do [ "$word" = -g ] || kept_cxx+=("$word"); done
    C_FLAGS="$CPPFLAGS ${kept_c[*]}"
    CXX_FLAGS="$CPPFLAGS ${kept_cxx[*]}"
    LINK_FLAGS="$LDFLAGS"
    if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
        SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
    fi
    [ -n "${SOURCE_DATE_EPOCH:-}" ] && export SOURCE_DATE_EPOCH
    return 0
}
