# apt_update [COMMAND PREFIX...]: refreshes the package lists, asked again when a mirror answers
# with an index it is still syncing (apt-get exits 100). Where one list still fails after that,
# the install goes on with the lists that came: a package missing from them fails the install
# itself, with apt's own message.
apt_update() {
  local attempt
  for attempt in 1 2 3; do
    "$@" apt-get update -qq && return 0
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
  done
  echo "apt-get update: some package lists could not be refreshed; going on with those that were" >&2
}
