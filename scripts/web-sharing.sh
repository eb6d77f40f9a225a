#!/usr/bin/env bash
# Web sharing: lets Debian's Apache 2.4 serve every user's ~/Sites at http://host/~user/, so that
# others can see the site Tessaly publishes there.
#
#   scripts/web-sharing.sh                  set it up (asks before every change, says what changed)
#   scripts/web-sharing.sh --check          only say whether the site answers, and why not
#   scripts/web-sharing.sh --print-config   print the Apache configuration it installs
#   scripts/web-sharing.sh --remove         undo the set-up (asks first)
#
# --check takes --base URL (default http://localhost) for a server elsewhere and --user NAME for
# another user whose home is $HOME; --print-config takes --homes PATTERN (default /home/*) for homes
# that lie elsewhere, "*" standing for the user name.
set -euo pipefail

conf_name=tessaly-web-sharing
conf_file=/etc/apache2/conf-available/$conf_name.conf
site_page=iPhotoPictureSite/Tessaly.html
user=$(id -un)
home=${HOME:-$(getent passwd "$user" | cut -d: -f6)}

say() { printf '%s\n' "$*"; }
fail() {
  printf '%s\n' "$*" >&2
  exit 1
}

# The configuration, for homes matching $1. With the usual /home/* it names the folder relative to
# each home (UserDir Sites); for other places it names the path, "*" being the user name.
print_config() {
  local homes=$1 userdir
  if [ "$homes" = "/home/*" ]; then
    userdir=Sites
  else
    userdir="$homes/Sites"
  fi
  cat <<CONF
# Every user's ~/Sites at http://host/~user/ (written by Tessaly's scripts/web-sharing.sh).
<IfModule mod_userdir.c>
    UserDir $userdir
    UserDir disabled root
    <Directory "$homes/Sites">
        # The library may be a link to the pictures' real place: links are followed, but only
        # where the link and what it names have the same owner, so nobody's link reaches another
        # person's or the system's files. No listing of folders, no MultiViews guessing, and no
        # .htaccess file may turn either back on.
        Options SymLinksIfOwnerMatch
        AllowOverride None
        DirectoryIndex index.html Tessaly.html
        Require method GET OPTIONS
    </Directory>
</IfModule>
CONF
}

# --- what the home must allow ---------------------------------------------------------------------

# Prints one line per missing permission, nothing when all is well. Apache's workers run as another
# user: they must pass through the home (o+x) and read ~/Sites and what it holds.
permission_problems() {
  local sites="$home/Sites"
  if [ "$(($(stat -c '%a' "$home" | sed 's/^/0/') & 1))" -eq 0 ]; then
    say "others cannot pass through your home $home (needs o+x: chmod o+x '$home')"
  fi
  if [ ! -d "$sites" ]; then
    say "there is no $sites folder"
    return
  fi
  if [ "$(($(stat -c '%a' "$sites" | sed 's/^/0/') & 5))" -ne 5 ]; then
    say "others cannot read $sites (needs o+rx: chmod o+rx '$sites')"
  fi
  local unreadable
  unreadable=$(find "$sites/" -maxdepth 3 \( -type d ! -perm -o+rx -o -type f ! -perm -o+r \) \
    -print -quit 2>/dev/null || true)
  if [ -n "$unreadable" ]; then
    say "others cannot read $unreadable (and maybe more below $sites: chmod -R o+rX '$sites')"
  fi
}

# --- check ----------------------------------------------------------------------------------------

http_status() {
  curl --silent --noproxy '*' --max-time 10 --output /dev/null --write-out '%{http_code}' "$1" \
    2>/dev/null || true
}

check() {
  local base=$1 address status
  address="$base/~$user/$site_page"
  status=$(http_status "$address")
  if [ "$status" = 200 ]; then
    say "The site answers at $address"
    return 0
  fi
  say "The site does not answer at $address (${status:-no answer}):"
  local reasons=()
  [ "$user" != root ] || reasons+=("root's ~/Sites is never shared: publish as yourself")
  if [ ! -x /usr/sbin/apache2 ]; then
    reasons+=("Apache is not installed (run scripts/web-sharing.sh)")
  else
    [ -e /etc/apache2/mods-enabled/userdir.load ] ||
      reasons+=("Apache's userdir module is not enabled (run scripts/web-sharing.sh)")
    [ -e "/etc/apache2/conf-enabled/$conf_name.conf" ] ||
      reasons+=("the ~/Sites configuration is not enabled (run scripts/web-sharing.sh)")
  fi
  if [ "$status" = 000 ] || [ -z "$status" ]; then
    reasons+=("nothing answers at $base (is Apache running? systemctl status apache2)")
  fi
  [ -f "$home/Sites/$site_page" ] ||
    reasons+=("the site is not published: there is no $home/Sites/$site_page (press Start)")
  local problem
  while IFS= read -r problem; do
    [ -n "$problem" ] && reasons+=("$problem")
  done < <(permission_problems)
  if [ "${#reasons[@]}" -eq 0 ]; then
    reasons+=("the server answered HTTP $status; its error log says more (/var/log/apache2/error.log)")
  fi
  local reason
  for reason in "${reasons[@]}"; do
    say "  - $reason"
  done
  return 1
}

# --- set-up and removal ---------------------------------------------------------------------------

ask() {
  local answer
  if [ ! -t 0 ]; then
    say "$1 [y/N] no (not asked: no terminal)"
    return 1
  fi
  read -r -p "$1 [y/N] " answer
  [[ "$answer" =~ ^[yY] ]]
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

changed=()

reload_apache() {
  if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet apache2; then
    as_root systemctl reload apache2
  else
    as_root apache2ctl graceful || as_root apache2ctl start
  fi
  changed+=("Apache reloaded its configuration")
}

set_up() {
  if [ ! -x /usr/sbin/apache2 ]; then
    ask "Apache is not installed. Install Debian's apache2 package (apt-get install apache2)?" ||
      fail "Nothing changed."
    as_root apt-get install -y --no-install-recommends apache2
    changed+=("installed the apache2 package")
  fi

  local config
  config=$(print_config "/home/*")
  if [ -f "$conf_file" ] && [ "$(cat "$conf_file")" = "$config" ]; then
    say "$conf_file is already in place."
  else
    say "This configuration goes into $conf_file:"
    say "$config" | sed 's/^/    /'
    ask "Write it, and enable it and Apache's userdir module?" || fail "Nothing changed."
    printf '%s\n' "$config" | as_root tee "$conf_file" >/dev/null
    changed+=("wrote $conf_file")
  fi
  if [ ! -e /etc/apache2/mods-enabled/userdir.load ]; then
    as_root a2enmod -q userdir
    changed+=("enabled Apache's userdir module (a2enmod userdir)")
  fi
  if [ ! -e "/etc/apache2/conf-enabled/$conf_name.conf" ]; then
    as_root a2enconf -q "$conf_name"
    changed+=("enabled the configuration (a2enconf $conf_name)")
  fi
  if ((${#changed[@]})); then
    as_root apache2ctl configtest
    reload_apache
  fi
  case "$home" in
    /home/*/*) say "Note: your home $home lies deeper than /home/NAME; see --print-config --homes." ;;
    /home/*) ;;
    *) say "Note: your home $home is not under /home, so it is not shared; see --print-config --homes." ;;
  esac

  # The home's permissions are the person's own: said, checked, and changed only when asked.
  local problems
  problems=$(permission_problems)
  if [ -n "$problems" ]; then
    say "Apache reads your site as another user, and cannot yet:"
    say "$problems" | sed 's/^/  - /'
    if ask "Allow others to pass through $home and to read $home/Sites?"; then
      chmod o+x "$home"
      [ -d "$home/Sites" ] && chmod -R o+rX "$home/Sites"
      changed+=("chmod o+x $home and chmod -R o+rX $home/Sites")
    fi
  fi

  if ((${#changed[@]})); then
    say "Changed:"
    printf '  - %s\n' "${changed[@]}"
  else
    say "Nothing needed changing."
  fi
  say "To undo: scripts/web-sharing.sh --remove"
  check http://localhost || true
}

remove() {
  if [ ! -e "$conf_file" ] && [ ! -e "/etc/apache2/conf-enabled/$conf_name.conf" ]; then
    say "Web sharing of ~/Sites is not set up here; nothing to remove."
    return 0
  fi
  ask "Disable and remove $conf_file, and disable Apache's userdir module?" ||
    fail "Nothing changed."
  if [ -e "/etc/apache2/conf-enabled/$conf_name.conf" ]; then
    as_root a2disconf -q "$conf_name"
    changed+=("disabled the configuration (a2disconf $conf_name)")
  fi
  if [ -e "$conf_file" ]; then
    as_root rm -f "$conf_file"
    changed+=("removed $conf_file")
  fi
  if [ -e /etc/apache2/mods-enabled/userdir.load ]; then
    as_root a2dismod -q userdir
    changed+=("disabled Apache's userdir module (a2dismod userdir)")
  fi
  reload_apache
  say "Changed:"
  printf '  - %s\n' "${changed[@]}"
  say "Your home's permissions are left as they are (chmod o-x '$home' takes passage away)."
}

# --- options --------------------------------------------------------------------------------------

mode=setup
base=http://localhost
homes="/home/*"
while (($#)); do
  case "$1" in
    --check) mode=check ;;
    --print-config) mode=print ;;
    --remove) mode=remove ;;
    --base)
      base=${2:?--base needs a URL}
      shift
      ;;
    --homes)
      homes=${2:?--homes needs a path pattern}
      shift
      ;;
    --user)
      user=${2:?--user needs a user name}
      shift
      ;;
    -h | --help)
      sed -n '2,12s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *) fail "unknown option $1 (see --help)" ;;
  esac
  shift
done

case "$mode" in
  print) print_config "${homes%/}" ;;
  check) check "${base%/}" ;;
  remove) remove ;;
  setup) set_up ;;
esac
