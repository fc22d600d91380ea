#!/usr/bin/env bash
# vornk's virtual slots, as the compiler laid them out against the host's headers: read from the
# virtual table that device/vornk.cpp's object file defines, whose relocations name the function
# of every slot with its parameters. The host calls by slot, so the contract's operations must
# come first and in the contract's order; slots the host adds after them are listed and allowed;
# the two operations of the data device come last.
# Usage: check_virtual_slots.sh OBJECT [READELF]; READELF defaults to the build machine's.
set -euo pipefail
object=$1
readelf=${2:-readelf}

# The contract's slots. Overloads are told apart by their parameters, written with "text" for a
# constant std::string reference, "bytes" for a pointer to constant unsigned bytes and "buffers"
# for a constant vector of Boost.Asio constant buffers; other slots by name.
contract=(
  Get_Value 'LoadFromCache(text)' 'LoadFromCache(bytes, int)' DataId DeviceType DeviceIoControl
  RoundDone UseControllerDb '~vornk' '~vornk' Reset InitV Init InitSetting IsSupportDevice
  GetChildVDevice GetAllChildVDevices SendSP SendDelayData SendDoData ReadDi ReadAi Get_SP_Value
  process process_data OnConnected RefreshStatus StartSocket CloseSocket
  'SendSocketData(bytes, unsigned int)' 'SendSocketData(int, bytes, unsigned int)'
  'SendSocketData(buffers)' 'SendSocketData(int, buffers)'
)
data_device=(RunCheckThreshold GenJsonData)

# The table: the symbol _ZTV5vornk, in a section of its own (a COMDAT group) or among other data.
read -r start size index < <("$readelf" -sW "$object" | awk '$8 == "_ZTV5vornk" {print $2, $3, $7}') ||
  { echo "no virtual table of vornk in $object"; exit 1; }
section=$("$readelf" -SW "$object" | sed -nE "s/^ *\[ *$index\] ([^ ]+) .*/\1/p")
start=$((16#$start))
end=$((start + size))

# The relocations inside the table, in slot order (the first names the type information), each
# function demangled and written as its unqualified name with its parameters.
table_relocations() {
  local offset name
  "$readelf" -rW "$object" |
    awk -v rel="'.rel$section'" -v rela="'.rela$section'" '
      $1 == "Relocation" {inside = ($3 == rel || $3 == rela); next}
      inside && $1 ~ /^[0-9a-f]+$/ && NF >= 5 {print $1, $5}' |
    while read -r offset name; do
      offset=$((16#$offset))
      [ $offset -ge $start ] && [ $offset -lt $end ] && printf '%08x %s\n' $offset "$name"
    done | sort | awk '$2 !~ /^_ZTI/ {print $2}'
}
mapfile -t slots < <(
  table_relocations | c++filt |
    sed -E 's/\[abi:[a-z0-9]+\]//g
            s/std::(__cxx11::)?basic_string<char, std::char_traits<char>, std::allocator<char> > const&/text/g
            s/std::string const&/text/g
            s/unsigned char const\*/bytes/g
            s/std::vector<boost::asio::const_buffer, std::allocator<boost::asio::const_buffer> > const&/buffers/g
            s/^([^(]*::)?([^:(]+)\(/\2(/'
)
if [ ${#slots[@]} -eq 0 ]; then
  echo "no virtual table of vornk in $object"
  exit 1
fi

# slot_matches WANT GOT: a slot named without parameters matches any parameters.
slot_matches() {
  case "$1" in
    *'('*) [ "$1" = "$2" ] ;;
    *) [ "$1" = "${2%%(*}" ] ;;
  esac
}

status=0
count=${#contract[@]}
for ((i = 0; i < count; ++i)); do
  got=${slots[i]:-nothing}
  if ! slot_matches "${contract[i]}" "$got"; then
    echo "slot $i holds $got where the contract puts ${contract[i]}"
    status=1
  fi
done
total=${#slots[@]}
last=$((total - ${#data_device[@]}))
if [ $last -lt $count ]; then
  echo "vornk has $total virtual slots, fewer than the contract's $count and the data device's ${#data_device[@]}"
  exit 1
fi
for ((i = last; i < total; ++i)); do
  want=${data_device[i - last]}
  if ! slot_matches "$want" "${slots[i]}"; then
    echo "slot $i holds ${slots[i]} where the data device's $want belongs, after the host's slots"
    status=1
  fi
done
added=("${slots[@]:count:last-count}")
[ $status -eq 0 ] || exit 1
host_added=", no slot of the host's own"
[ ${#added[@]} -eq 0 ] || host_added=", the host's own ${added[*]}"
echo "vornk's virtual slots: the contract's $count in order$host_added, then ${data_device[*]}"
