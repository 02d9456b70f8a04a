-- Wireshark dissectors for the camera's two discovery protocols:
--   qzsearch  raw Ethernet frames of EtherType 0x0809 (search and modify, requests
--             and replies, the reply text's fields by name)
--   tovrin    UDP datagrams on ports 62630 (requests) and 62631 (replies), with the
--             checksum verified and the password fields marked as secrets
-- Texts from the network are shown escaped everywhere (the Info column, every string
-- field): printable ASCII as it is, a backslash as "\\", every other byte as "\xNN",
-- as discover prints them; their raw bytes stay in a bytes field below each text.
-- Load it with: wireshark -X lua_script:camera_discovery.lua (or copy it into the
-- personal Lua plugins folder). Short or malformed packets are marked malformed.
--
-- SPDX-License-Identifier: GPL-2.0-or-later
--
-- This program is free software; you can redistribute it and/or modify it under the
-- terms of the GNU General Public License as published by the Free Software
-- Foundation; either version 2 of the License, or (at your option) any later version.
-- This program is distributed in the hope that it will be useful, but WITHOUT ANY
-- WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS FOR A
-- PARTICULAR PURPOSE. See the GNU General Public License for more details.

---------------------------------------------------------------------------------------
-- Shared helpers

-- The protocol's subtree, its name in the protocol column; nil when the packet is
-- shorter than min_len (then it is marked malformed, an expert info of the Malformed
-- group that the expert view and filters find).
local function open_tree(proto, column, tvb, pinfo, tree, min_len, malformed, what)
  pinfo.cols.protocol = column
  local root = tree:add(proto, tvb())
  if tvb:len() < min_len then
    root:add_proto_expert_info(malformed, what)
    return nil
  end
  return root
end

-- Names the message in the Info column and on the protocol's line.
local function name_message(root, pinfo, name)
  pinfo.cols.info = name
  root:append_text(", " .. name)
end

-- The bytes of a range up to its first NUL, as a Lua string.
local function nul_text(range)
  local s = range:raw()
  local nul = s:find("\0", 1, true)
  if nul then s = s:sub(1, nul - 1) end
  return s
end

-- Network text as it may be shown: a backslash and every byte outside printable ASCII
-- escaped, so that no control byte reaches a terminal and -T json/pdml stay UTF-8.
local function display_escape(s)
  return (s:gsub(".", function(c)
    local b = c:byte()
    if c == "\\" then return "\\\\" end
    if b < 0x20 or b > 0x7e then return string.format("\\x%02x", b) end
  end))
end

-- A text field over range (text: its bytes, by default up to the first NUL), shown
-- escaped, with its raw bytes in bytes_field below it. Returns the text and the item.
local function add_text(tree, field, bytes_field, range, text)
  text = text or nul_text(range)
  local item = tree:add(field, range, display_escape(text))
  if #text > 0 then item:add(bytes_field, range:range(0, #text)) end
  return text, item
end

---------------------------------------------------------------------------------------
-- Raw Ethernet frames, EtherType 0x0809

local qzsearch = Proto("qzsearch", "Camera discovery (raw Ethernet)")

local ops = {
  [0] = "Search request",
  [1] = "Search reply",
  [2] = "Modify request",
  [3] = "Modify reply",
}
local results = { [0] = "refused", [1] = "accepted" }

local rf = {
  signature = ProtoField.bytes("qzsearch.signature", "Signature"),
  operation = ProtoField.uint16("qzsearch.operation", "Operation", base.HEX, ops),
  target = ProtoField.ether("qzsearch.target", "Target MAC"),
  requester = ProtoField.ether("qzsearch.requester", "Requester MAC"),
  result = ProtoField.uint8("qzsearch.result", "Result", base.DEC, results),
  text = ProtoField.string("qzsearch.text", "Text"),
  text_bytes = ProtoField.bytes("qzsearch.text_bytes", "Text bytes"),
  padding = ProtoField.bytes("qzsearch.padding", "Padding"),
}
-- The modify text's eight fields, in order.
local modify_names = { "IP", "HttpPort", "Netmask", "Gateway", "Dns", "Title", "User", "Password" }
local modify_fields = {}
for i, name in ipairs(modify_names) do
  local label = name
  if name == "Password" then label = "Password (secret)" end
  modify_fields[i] = ProtoField.string("qzsearch.modify." .. name:lower(), label)
end
-- The reply text's twelve fields, in order.
local reply_names = {
  { "ip", "IP address" }, { "http_port", "HTTP port" }, { "netmask", "Netmask" },
  { "gateway", "Gateway" }, { "dns", "DNS" }, { "model", "Model" },
  { "firmware", "Firmware" }, { "serial", "Serial number" }, { "title", "Title" },
  { "name", "Name" }, { "uptime", "Seconds since boot" }, { "dhcp", "DHCP" },
}
local reply_fields = {}
for i, n in ipairs(reply_names) do
  reply_fields[i] = ProtoField.string("qzsearch.reply." .. n[1], n[2])
end

local re = {
  malformed = ProtoExpert.new("qzsearch.malformed", "Malformed discovery frame",
                              expert.group.MALFORMED, expert.severity.ERROR),
  signature = ProtoExpert.new("qzsearch.bad_signature", "Signature is not 20 12 06 10",
                              expert.group.PROTOCOL, expert.severity.WARN),
  secret = ProtoExpert.new("qzsearch.password_exposed",
                           "User name and password travel in clear text",
                           expert.group.SECURITY, expert.severity.WARN),
}

local all_fields = {}
for _, f in pairs(rf) do all_fields[#all_fields + 1] = f end
for _, f in ipairs(modify_fields) do all_fields[#all_fields + 1] = f end
for _, f in ipairs(reply_fields) do all_fields[#all_fields + 1] = f end
qzsearch.fields = all_fields
qzsearch.experts = { re.malformed, re.signature, re.secret }

-- A modify text split at ';' as the camera does: empty pieces take no position, a
-- piece keeps 127 characters, pieces after the eighth are dropped.
local function add_whole_text(tree, range)
  local text = nul_text(range)
  return add_text(tree, rf.text, rf.text_bytes, range:range(0, math.min(#text + 1, range:len())),
                  text)
end

local function add_modify_text(tree, range)
  local text, item = add_whole_text(tree, range)
  local pos, n = 0, 0
  for piece in (text .. ";"):gmatch("([^;]*);") do
    if #piece > 0 and n < #modify_fields then
      n = n + 1
      item:add(modify_fields[n], range:range(pos, #piece), display_escape(piece:sub(1, 127)))
      if modify_names[n] == "Password" then item:add_proto_expert_info(re.secret) end
    end
    pos = pos + #piece + 1
  end
end

-- A reply text split into its twelve fields by name.
local function add_reply_text(tree, range)
  local text, item = add_whole_text(tree, range)
  local pos, n = 0, 0
  for piece in (text .. ";"):gmatch("([^;]*);") do
    n = n + 1
    if n <= #reply_fields then
      if #piece > 0 then
        item:add(reply_fields[n], range:range(pos, #piece), display_escape(piece))
      else
        item:add(reply_fields[n], piece)  -- an empty field covers no bytes
      end
    end
    pos = pos + #piece + 1
  end
  if n ~= #reply_fields then
    item:append_text(string.format(" [%d fields, 12 expected]", n))
  end
  return text
end

function qzsearch.dissector(tvb, pinfo, tree)
  -- tvb starts after the Ethernet header: signature at 0, operation at 4.
  local len = tvb:len()
  local root = open_tree(qzsearch, "QZSEARCH", tvb, pinfo, tree, 6, re.malformed,
                         "Too short for signature and operation")
  if not root then return len end
  local sig = root:add(rf.signature, tvb(0, 4))
  if tvb(0, 4):bytes():tohex() ~= "20120610" then sig:add_proto_expert_info(re.signature) end
  root:add(rf.operation, tvb(4, 2))
  local op = tvb(4, 2):uint()
  name_message(root, pinfo, ops[op] or string.format("Unknown operation 0x%04x", op))
  if op == 0 then
    if len > 6 then root:add(rf.padding, tvb(6)) end
  elseif op == 2 then
    if len < 12 then
      root:add_proto_expert_info(re.malformed, "Modify request shorter than its target MAC")
      return len
    end
    root:add(rf.target, tvb(6, 6))
    pinfo.cols.info:append(" for " .. tostring(tvb(6, 6):ether()))
    if len > 12 then add_modify_text(root, tvb(12)) end
  elseif op == 1 then
    if len < 7 then
      root:add_proto_expert_info(re.malformed, "Search reply without text")
      return len
    end
    local text = add_reply_text(root, tvb(6))
    pinfo.cols.info:append(": " .. display_escape(text:match("^[^;]*") or ""))
    if len ~= 246 then root:add_proto_expert_info(re.malformed, "Reply is not 260 bytes") end
  elseif op == 3 then
    if len < 14 then
      root:add_proto_expert_info(re.malformed, "Modify reply shorter than its result")
      return len
    end
    root:add(rf.requester, tvb(6, 6))
    root:add(rf.result, tvb(12, 1))
    pinfo.cols.info:append(": " .. (results[tvb(12, 1):uint()] or "unknown result"))
    if len > 13 then add_reply_text(root, tvb(13)) end
    if len ~= 246 then root:add_proto_expert_info(re.malformed, "Reply is not 260 bytes") end
  end
  return len
end

DissectorTable.get("ethertype"):add(0x0809, qzsearch)

---------------------------------------------------------------------------------------
-- UDP "tovrin" datagrams, ports 62630 and 62631

local tovrin = Proto("tovrin", "Camera discovery (UDP)")

local commands = {
  [0x16] = "Search request",
  [0x70] = "Search reply",
  [0x90] = "Modify request",
  [0x30] = "Modify reply",
}
-- Sizes of the messages that end in a checksum.
local sizes = { [0x70] = 114, [0x90] = 98, [0x30] = 50 }

local tf = {
  magic = ProtoField.string("tovrin.magic", "Magic"),
  zero = ProtoField.uint8("tovrin.zero", "Zero byte", base.HEX),
  command = ProtoField.uint8("tovrin.command", "Command", base.HEX, commands),
  mac = ProtoField.ether("tovrin.mac", "Camera MAC"),
  target = ProtoField.ether("tovrin.target", "Target MAC"),
  tag = ProtoField.string("tovrin.tag", "Tag"),
  unused = ProtoField.bytes("tovrin.unused", "Not used"),
  ip = ProtoField.ipv4("tovrin.ip", "IP address"),
  netmask = ProtoField.ipv4("tovrin.netmask", "Netmask"),
  gateway = ProtoField.ipv4("tovrin.gateway", "Gateway"),
  name = ProtoField.string("tovrin.name", "Name"),
  firmware = ProtoField.string("tovrin.firmware", "Firmware"),
  name2 = ProtoField.string("tovrin.name2", "Name (again)"),
  title = ProtoField.string("tovrin.title", "New title"),
  password = ProtoField.string("tovrin.password", "Password (secret)"),
  new_password = ProtoField.string("tovrin.new_password", "New password (secret)"),
  result = ProtoField.string("tovrin.result", "Result"),
  text_bytes = ProtoField.bytes("tovrin.text_bytes", "Text bytes"),
  reserved = ProtoField.bytes("tovrin.reserved", "Reserved"),
  checksum = ProtoField.uint16("tovrin.checksum", "Checksum", base.HEX),
  checksum_status = ProtoField.string("tovrin.checksum.status", "Checksum status"),
  extra = ProtoField.bytes("tovrin.extra", "Ignored bytes"),
}
local tv = {}
for _, f in pairs(tf) do tv[#tv + 1] = f end
tovrin.fields = tv

local te = {
  malformed = ProtoExpert.new("tovrin.malformed", "Malformed discovery datagram",
                              expert.group.MALFORMED, expert.severity.ERROR),
  bad_checksum = ProtoExpert.new("tovrin.bad_checksum", "Bad checksum",
                                 expert.group.CHECKSUM, expert.severity.ERROR),
  secret = ProtoExpert.new("tovrin.password_exposed",
                           "Password travels nibble-swapped, which hides nothing",
                           expert.group.SECURITY, expert.severity.WARN),
}
tovrin.experts = { te.malformed, te.bad_checksum, te.secret }

-- RFC 1071 over 16-bit words taken little-endian, as the camera computes it.
local function checksum(range)
  local sum, n = 0, range:len()
  local i = 0
  while i + 1 < n do
    sum = sum + range:range(i, 1):uint() + range:range(i + 1, 1):uint() * 256
    i = i + 2
  end
  if i < n then sum = sum + range:range(i, 1):uint() end
  while sum > 0xffff do sum = (sum % 0x10000) + math.floor(sum / 0x10000) end
  return 0xffff - sum
end

-- A password field: each byte's 4-bit halves swapped, ended by a zero byte.
local function decode_password(range)
  local out = {}
  for i = 0, range:len() - 1 do
    local b = range:range(i, 1):uint()
    if b == 0 then break end
    out[#out + 1] = string.char((b % 16) * 16 + math.floor(b / 16))
  end
  return table.concat(out)
end

local function add_password(tree, field, range)
  local item = tree:add(field, range, display_escape(decode_password(range)))
  item:add_proto_expert_info(te.secret)
end

local function add_checksum(tree, tvb, at)
  local computed = checksum(tvb(0, at))
  local stored = tvb(at, 2):le_uint()
  local item = tree:add_le(tf.checksum, tvb(at, 2))
  if computed == stored then
    item:append_text(" [correct]")
    item:add(tf.checksum_status, tvb(at, 2), "Good")
  else
    item:append_text(string.format(" [incorrect, should be 0x%04x]", computed))
    item:add(tf.checksum_status, tvb(at, 2), "Bad")
    item:add_proto_expert_info(te.bad_checksum)
  end
end

function tovrin.dissector(tvb, pinfo, tree)
  local len = tvb:len()
  local root = open_tree(tovrin, "TOVRIN", tvb, pinfo, tree, 10, te.malformed,
                         "Too short for magic and command")
  if not root then return len end
  add_text(root, tf.magic, tf.text_bytes, tvb(0, 8), tvb(0, 8):raw())
  root:add(tf.zero, tvb(8, 1))
  root:add(tf.command, tvb(9, 1))
  local cmd = tvb(9, 1):uint()
  name_message(root, pinfo, commands[cmd] or string.format("Unknown command 0x%02x", cmd))
  if tvb(0, 8):string() ~= "TOVRINut" or tvb(8, 1):uint() ~= 0 then
    root:add_proto_expert_info(te.malformed, "Not a tovrin header")
    return len
  end
  if cmd == 0x16 then
    if len > 10 then root:add(tf.extra, tvb(10)) end
    return len
  end
  local size = sizes[cmd]
  if not size then return len end
  if len < size then
    -- A request the camera reads with its missing bytes as zero; still malformed.
    root:add_proto_expert_info(te.malformed, string.format("%d bytes, %d expected", len, size))
    return len
  end
  if cmd == 0x70 then
    root:add(tf.mac, tvb(10, 6))
    add_text(root, tf.tag, tf.text_bytes, tvb(16, 4), tvb(16, 4):raw())
    root:add(tf.ip, tvb(20, 4))
    root:add(tf.netmask, tvb(24, 4))
    root:add(tf.gateway, tvb(28, 4))
    add_text(root, tf.name, tf.text_bytes, tvb(32, 32))
    add_text(root, tf.firmware, tf.text_bytes, tvb(64, 16))
    add_text(root, tf.name2, tf.text_bytes, tvb(80, 32))
    pinfo.cols.info:append(": " .. tostring(tvb(20, 4):ipv4()))
  elseif cmd == 0x90 then
    root:add(tf.target, tvb(10, 6))
    root:add(tf.unused, tvb(16, 4))
    root:add(tf.ip, tvb(20, 4))
    root:add(tf.netmask, tvb(24, 4))
    root:add(tf.gateway, tvb(28, 4))
    add_text(root, tf.title, tf.text_bytes, tvb(32, 32))
    add_password(root, tf.password, tvb(64, 16))
    add_password(root, tf.new_password, tvb(80, 16))
    pinfo.cols.info:append(" for " .. tostring(tvb(10, 6):ether()))
  elseif cmd == 0x30 then
    root:add(tf.mac, tvb(10, 6))
    local result = add_text(root, tf.result, tf.text_bytes, tvb(16, 16))
    root:add(tf.reserved, tvb(32, 16))
    pinfo.cols.info:append(": " .. display_escape(result))
  end
  add_checksum(root, tvb, size - 2)
  if len > size then root:add(tf.extra, tvb(size)) end
  return len
end

local udp = DissectorTable.get("udp.port")
udp:add(62630, tovrin)
udp:add(62631, tovrin)
