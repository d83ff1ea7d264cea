#!/usr/bin/env bash
# The emulated 32-bit PC that runs the shipped quorvane.exe: builds its disk image once, and boots it.
#
#   image.sh build SOURCE_DIR
#       prints the folder of a ready image (kernel, initrd, root image),
#       building it first when the cache has none for this recipe
#   image.sh boot IMAGE_DIR MODE SECONDS LOG [TAG=DIR[:ro]...]
#       boots the guest; MODE is what its init does: "setup" (first boot,
#       writes into the image) or "run" (a throw-away snapshot of the image
#       that runs /mnt/work/guest-run.sh). Each TAG=DIR shares a folder of
#       this machine with the guest at /mnt/TAG. The guest is killed after
#       SECONDS; its console goes to LOG.
#
# The image is a Debian 12 i386 system with Wine and a Wine prefix, kept in
# ${XDG_CACHE_HOME:-~/.cache}/quorvane/guest-HASH, HASH naming the recipe (this
# script, the guest's init and initrd scripts, and the Wine bench that makes
# the prefix). Another clone or a CI run on the same machine finds it there.
#
# Nothing here runs i386 code on this machine, registers anything with its
# kernel or mounts anything on it: debootstrap only unpacks the base system
# here (its first stage, in a mount namespace of its own all the same), and
# all that has to run i386 code (the second stage, the package installs, the
# Wine prefix) runs inside the emulator, on the image itself. Each step can
# be interrupted and run again: a build happens in a .partial folder that is
# only renamed into place once the guest has said it is ready.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${QUORVANE_GUEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvane}
suite=bookworm
# What the guest needs beyond the minimal base system. busybox-static and the
# kernel are unpacked here for the initrd; the rest is installed in the guest.
packages=(wine wine32 xvfb xauth procps busybox-static linux-image-686-pae)

say() { echo "guest: $*" >&2; }
fail() { say "$*"; exit 1; }

# The recipe's hash: every file whose change makes a different image.
recipe_hash() {
  cat "$here/image.sh" "$here/initrd-init" "$here/guest-init" "$1/tests/wine/bench.sh" | sha256sum | cut -c1-16
}

# Removes a folder of this script's, refusing while anything is mounted
# at or below it, and never crossing into another file system.
remove_tree() {
  local dir=$1
  [[ -n $dir && $dir == "$cache"/* ]] || fail "refusing to remove $dir: not in $cache"
  [[ -e $dir ]] || return 0
  if findmnt -rn -o TARGET | awk -v d="$dir" '$0 == d || index($0, d "/") == 1 {found = 1} END {exit !found}'; then
    fail "refusing to remove $dir: something is mounted at or below it (see findmnt)"
  fi
  rm -rf --one-file-system -- "$dir"
}

# The archive that this machine's apt uses for a suite ("bookworm/main"),
# or the fallback when it names none.
archive_url() {
  local url
  url=$(apt-cache policy 2>/dev/null | awk -v s="$1" '$3 == s && $2 ~ /^https?:/ {print $2; exit}')
  echo "${url:-$2}"
}

# apt for i386 with a state of its own in $work/apt: this machine's package
# lists, architectures and status are not touched.
apt_i386() {
  local dir=$work/apt
  apt-get -q -c "$dir/apt.conf" -o Dir::Etc="$dir/etc" -o Dir::State="$dir/state" -o Dir::State::status="$dir/status" \
    -o Dir::Cache="$dir/cache" -o APT::Architecture=i386 -o APT::Architectures::=i386 \
    -o Debug::NoLocking=1 -o APT::Get::List-Cleanup=0 "$@"
}

download_packages() {
  local dir=$work/apt security
  security=$(archive_url "$suite-security/main" http://deb.debian.org/debian-security)
  mkdir -p "$dir"/etc/{apt.conf.d,preferences.d,sources.list.d} "$dir"/state/lists/partial \
    "$dir"/cache/archives/partial
  : >"$dir/status"
  # This machine's apt settings still apply (a proxy, say), but not its
  # hooks, which would act on its own caches after an update.
  cat >"$dir/apt.conf" <<EOF
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
#clear DPkg::Pre-Invoke;
#clear DPkg::Post-Invoke;
EOF
  local keys="[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]"
  cat >"$dir/etc/sources.list" <<EOF
deb $keys $mirror $suite main
deb $keys $mirror $suite-updates main
deb $keys $security $suite-security main
EOF
  say "downloading the i386 packages from $mirror"
  apt_i386 update >"$work/apt.log" 2>&1 || fail "apt-get update for i386 failed; see $work/apt.log"
  apt_i386 install -y --download-only --no-install-recommends "${packages[@]}" >>"$work/apt.log" 2>&1 ||
    fail "downloading ${packages[*]} for i386 failed; see $work/apt.log"
}

# The base system, unpacked but not configured.
first_stage() {
  say "unpacking the base system (debootstrap, first stage)"
  local ns=()
  # A namespace of its own: should debootstrap mount anything, it stays
  # there and is gone when debootstrap ends.
  unshare --mount --propagation private true 2>/dev/null && ns=(unshare --mount --propagation private)
  "${ns[@]}" debootstrap --foreign --arch=i386 --variant=minbase \
    --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
    "$suite" "$work/tree" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    fail "debootstrap's first stage failed; see $work/debootstrap.log"
  # In a container debootstrap links the tree's /proc to this machine's;
  # the guest mounts its own there.
  if [[ -L $work/tree/proc ]]; then
    rm -f "$work/tree/proc"
    mkdir "$work/tree/proc"
  fi
  # What the first boot installs after the second stage: the package lists
  # and packages fetched here, apart from what debootstrap looks after.
  local apt_dir=$work/tree/var/lib/quorvane/apt
  mkdir -p "$apt_dir"/lists/partial "$apt_dir"/archives/partial
  cp "$work"/apt/cache/archives/*.deb "$apt_dir/archives/"
  cp "$work"/apt/state/lists/*_Packages* "$work"/apt/state/lists/*Release "$apt_dir/lists/"
  # The lists were checked against the keys here; the guest only reads them.
  sed 's/ \[signed-by=[^]]*\]//' "$work/apt/etc/sources.list" >"$apt_dir/sources.list"
  printf '%s\n' "${packages[@]}" >"$work/tree/etc/quorvane-packages"
  install -D -m 755 "$here/guest-init" "$work/tree/usr/local/sbin/quorvane-init"
  echo quorvane >"$work/tree/etc/hostname"
}

# The kernel, and an initrd that loads the drivers for the disk, ext4 and
# the shared folders and then starts the image's own init. Made of files
# unpacked from the i386 packages; nothing of them runs here.
kernel_and_initrd() {
  say "making the kernel and the initrd"
  local k=$work/kernel rd=$work/initrd version
  mkdir -p "$k" "$rd"/{bin,dev,proc,sys,root,lib/modules}
  dpkg-deb -x "$(ls "$work"/apt/cache/archives/linux-image-[0-9]*_i386.deb | head -1)" "$k"
  dpkg-deb -x "$(ls "$work"/apt/cache/archives/busybox-static_*_i386.deb | head -1)" "$k"
  version=$(ls "$k/lib/modules")
  cp "$k/boot/vmlinuz-$version" "$work/vmlinuz"
  cp "$k/bin/busybox" "$rd/bin/busybox"
  install -m 755 "$here/initrd-init" "$rd/init"
  # The modules with what they depend on, in an order that loads.
  local -A path=() done=()
  local f order=()
  while read -r f; do
    local name=${f##*/}
    name=${name%.ko}
    # Module names use "_" where file names may have "-".
    path[${name//-/_}]=$f
  done < <(find "$k/lib/modules/$version" -name '*.ko')
  add_module() {
    local name=$1 dep deps
    [[ -z ${done[$name]:-} ]] || return 0
    done[$name]=1
    [[ -n ${path[$name]:-} ]] || fail "module $name is not in the kernel package"
    deps=$(tr '\0' '\n' <"${path[$name]}" | sed -n 's/^depends=//p' | head -1)
    for dep in ${deps//,/ }; do add_module "$dep"; done
    order+=("$name")
  }
  local m
  for m in virtio_pci virtio_blk crc32c_generic ext4 9pnet_virtio 9p; do add_module "$m"; done
  for m in "${order[@]}"; do
    cp "${path[$m]}" "$rd/lib/modules/"
    echo "$m" >>"$rd/lib/modules/order"
  done
  (cd "$rd" && find . | LC_ALL=C sort | cpio -o -H newc --quiet --reproducible) | gzip -1 >"$work/initrd.img"
}

# Builds into $cache/guest-HASH.partial and renames it when the guest is ready.
build() {
  local source=$1 hash final
  hash=$(recipe_hash "$source")
  final=$cache/guest-$hash
  if [[ -f $final/ready ]]; then
    echo "$final"
    return 0
  fi
  ((EUID == 0)) || fail "building the guest image needs root (debootstrap unpacks device nodes and root-owned files)"
  local tool
  for tool in qemu-system-i386 debootstrap mkfs.ext4 cpio dpkg-deb unshare findmnt; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run tools/setup.sh"
  done
  mkdir -p "$cache"
  # One build at a time; a second caller waits and then finds the image.
  exec 9>"$cache/build.lock"
  flock -w 7200 9 || fail "another build of the guest image holds $cache/build.lock"
  if [[ -f $final/ready ]]; then
    echo "$final"
    return 0
  fi
  work=$final.partial
  remove_tree "$work"
  mkdir -p "$work"
  local started=$SECONDS
  say "building the 32-bit guest image in $final (once for this recipe; about 7-20 minutes)"
  # The Debian archive of both the packages and the base system.
  mirror=$(archive_url "$suite/main" http://deb.debian.org/debian)
  download_packages
  first_stage
  kernel_and_initrd
  say "writing the root file system image"
  mkfs.ext4 -q -F -L quorvane -d "$work/tree" "$work/root.img" 4G >"$work/mkfs.log" 2>&1 ||
    fail "mkfs.ext4 failed; see $work/mkfs.log"
  remove_tree "$work/tree"
  rm -rf "$work/kernel" "$work/initrd"
  say "first boot: second stage, Wine and its prefix, inside the emulator"
  boot "$work" setup 5400 "$work/setup.log" "source=$source:ro" ||
    fail "the first boot failed; see $work/setup.log"
  grep -q '^quorvane-init: ready' "$work/setup.log" || fail "the first boot did not finish; see $work/setup.log"
  rm -rf "$work/apt"
  touch "$work/ready"
  mv "$work" "$final"
  # Images of other recipes are not used any more.
  local old
  for old in "$cache"/guest-*; do
    [[ $old == "$final" || ! -d $old ]] || remove_tree "$old"
  done
  say "image ready after $((SECONDS - started)) s"
  echo "$final"
}

# Boots the guest under full emulation (no KVM here, and 32-bit code cannot
# run on this kernel directly). -smap: QEMU 7.2's emulation faults on a
# user-mode iret with SMAP on, which oopses the kernel when Wine starts.
boot() {
  local image=$1 mode=$2 seconds=$3 log=$4
  shift 4
  # The first boot writes into the image, and gives the blocks it frees back
  # to the sparse file; a run writes into a snapshot that is thrown away.
  local drive="file=$image/root.img,if=virtio,format=raw"
  [[ $mode == setup ]] && drive+=",discard=unmap" || drive+=",snapshot=on"
  local share shares=() n=0
  for share in "$@"; do
    local tag=${share%%=*} dir=${share#*=} ro=""
    if [[ $dir == *:ro ]]; then
      dir=${dir%:ro}
      ro=",readonly=on"
    fi
    shares+=(-virtfs "local,path=$dir,mount_tag=$tag,security_model=none,id=share$n$ro")
    n=$((n + 1))
  done
  local status=0
  timeout -k 10 "$seconds" qemu-system-i386 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 2048 \
    -nographic -no-reboot -nic none -monitor none -serial "file:$log" \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "console=ttyS0 panic=1 quiet loglevel=3 init=/usr/local/sbin/quorvane-init -- $mode" \
    -drive "$drive" "${shares[@]}" </dev/null >"$log.qemu" 2>&1 || status=$?
  if ((status == 124 || status == 137)); then
    say "the guest did not finish within $seconds s and was stopped"
  elif ((status != 0)); then
    say "qemu-system-i386 ended with status $status:"
    cat "$log.qemu" >&2
  fi
  return $status
}

case ${1:-} in
  build) build "${2:?image.sh build SOURCE_DIR}" ;;
  boot)
    shift
    (($# >= 4)) || fail "usage: image.sh boot IMAGE_DIR MODE SECONDS LOG [TAG=DIR[:ro]...]"
    boot "$@"
    ;;
  *) fail "usage: image.sh build SOURCE_DIR | boot IMAGE_DIR MODE SECONDS LOG [TAG=DIR[:ro]...]" ;;
esac
