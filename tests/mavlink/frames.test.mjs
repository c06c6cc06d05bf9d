// Our framing against node-mavlink's, byte for byte in both directions: frames node-mavlink
// encodes go through our parser (mavlink_hex decode), and the frames we encode (mavlink_hex
// encode) through node-mavlink's.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { MavLinkProtocolV2, MavLinkPacketSignature, minimal, common } from 'node-mavlink';
import { makeDecoder, REGISTRY } from './station.mjs';

const HEX = process.env.MAVLINK_HEX;

function ourDecoding(buffers) {
  const input = buffers.map((b) => b.toString('hex')).join('\n') + '\n';
  const out = execFileSync(HEX, ['decode'], { input, timeout: 10000 }).toString();
  return out.trim().split('\n').map((line) => JSON.parse(line));
}

// Float fields are compared as float32, NaN as null, as JSON carries them.
function comparable(value) {
  if (typeof value === 'bigint') return Number(value);
  if (typeof value === 'number') return Number.isNaN(value) ? null : Math.fround(value);
  if (typeof value === 'string') return value.replace(/\0+$/, '');
  if (Array.isArray(value)) { // uint8_t[] text fields: the bytes up to the first zero
    const end = value.indexOf(0);
    return Buffer.from(value.slice(0, end < 0 ? value.length : end)).toString();
  }
  return value;
}

function assertFields(actual, expected, what) {
  for (const [name, value] of Object.entries(expected)) {
    assert.deepEqual(comparable(actual[name]), comparable(value), `${what}: ${name}`);
  }
}

const bytes = (text, size) => [...Buffer.from(text), ...Array(size - text.length).fill(0)];

function make(clazz, fields) {
  return Object.assign(new clazz(), fields);
}

const samples = [
  make(minimal.Heartbeat, { type: 6, autopilot: 8, baseMode: 0, customMode: 0, systemStatus: 4,
    mavlinkVersion: 3 }),
  make(common.CommandLong, { targetSystem: 1, targetComponent: 100, command: 2005,
    confirmation: 0, _param1: 0.1, _param2: 0.2, _param3: 0.6, _param4: 0.7, _param5: 0,
    _param6: 0, _param7: 0 }),
  make(common.CommandLong, { targetSystem: 0, targetComponent: 0, command: 511, confirmation: 3,
    _param1: 275, _param2: -1, _param3: NaN, _param4: 0, _param5: 0, _param6: 0, _param7: 0 }),
  make(common.CommandAck, { command: 1001, result: 0, progress: 100, resultParam2: -5,
    targetSystem: 1, targetComponent: 100 }),
  make(common.CameraInformation, { timeBootMs: 42, firmwareVersion: 0x01020304, focalLength: 4.5,
    sensorSizeH: 6.17, sensorSizeV: 4.55, flags: 1536, resolutionH: 1920, resolutionV: 1080,
    camDefinitionVersion: 2, vendorName: bytes('vendor', 32), modelName: bytes('model', 32), lensId: 1,
    camDefinitionUri: 'http://127.0.0.1/camera.xml', gimbalDeviceId: 154, cameraDeviceId: 0 }),
  make(common.CameraTrackingImageStatus, { pointX: 0.5, pointY: 0.25, radius: 0.05,
    recTopX: NaN, recTopY: NaN, recBottomX: NaN, recBottomY: NaN, trackingStatus: 1,
    trackingMode: 1, targetData: 4, cameraDeviceId: 0 }),
  make(common.GimbalManagerSetPitchyaw, { flags: 0, pitch: NaN, yaw: NaN, pitchRate: -0.1,
    yawRate: 0.2, targetSystem: 1, targetComponent: 1, gimbalDeviceId: 154 }),
];

test('frames node-mavlink encodes are read by our parser, field for field', () => {
  const protocol = new MavLinkProtocolV2(42, 191);
  const buffers = samples.map((m, i) => protocol.serialize(m, 200 + i));
  const decoded = ourDecoding(buffers);
  assert.equal(decoded.length, samples.length);
  decoded.forEach((d, i) => {
    const name = samples[i].constructor.MSG_NAME;
    assert.equal(d.frames.length, 1, name);
    const frame = d.frames[0];
    assert.equal(frame.msgid, samples[i].constructor.MSG_ID, name);
    assert.equal(frame.seq, 200 + i, name);
    assert.equal(frame.sysid, 42, name);
    assert.equal(frame.compid, 191, name);
    assert.equal(frame.length, buffers[i][1], `${name}: payload length as sent`);
    assertFields(frame.fields, samples[i], name);
  });
});

test('several frames in one datagram are all read, bad ones stepped over', () => {
  const protocol = new MavLinkProtocolV2(1, 1);
  const good = samples.map((m, i) => protocol.serialize(m, i));
  const corrupt = Buffer.from(good[1]);
  corrupt[12] ^= 0x40; // a payload byte: the checksum no longer matches
  const v1 = Buffer.from(good[0]);
  v1[0] = 0xfe;
  const datagram = Buffer.concat([good[0], corrupt, v1, good[6], good[3]]);
  const [d] = ourDecoding([datagram]);
  assert.deepEqual(d.frames.map((f) => f.msgid), [0, 287, 77]);
  assert.equal(d.badChecksums, 1);
});

test('signed frames are stepped over, and the frame after one is read', () => {
  const protocol = new MavLinkProtocolV2(1, 1, MavLinkProtocolV2.IFLAG_SIGNED);
  const key = MavLinkPacketSignature.key('a passphrase');
  const signed = protocol.sign(protocol.serialize(samples[1], 0), 1, key);
  const plain = new MavLinkProtocolV2(1, 1).serialize(samples[0], 1);
  const [d] = ourDecoding([Buffer.concat([signed, plain])]);
  assert.equal(d.signed, 1);
  assert.deepEqual(d.frames.map((f) => f.msgid), [0]);
});

test('frames we encode are read by node-mavlink, field for field', async () => {
  const lines = execFileSync(HEX, ['encode'], { timeout: 10000 }).toString().trim().split('\n');
  const ours = lines.map((line) => JSON.parse(line));
  const decoded = [];
  const decoder = makeDecoder((message, header, packet) => decoded.push({ message, header, packet }));
  for (const o of ours) decoder.write(Buffer.from(o.hex, 'hex'));
  decoder.end();
  await new Promise((resolve) => setImmediate(resolve));
  assert.equal(decoded.length, ours.length, 'node-mavlink accepted every frame (checksums good)');
  decoded.forEach(({ message, header, packet }, i) => {
    const name = REGISTRY[ours[i].msgid].MSG_NAME;
    assert.equal(header.msgid, ours[i].msgid, name);
    assert.equal(header.sysid, 7, name);
    assert.equal(header.compid, 100, name);
    assert.equal(header.seq, i, name);
    // Trailing zeros are cut, the first payload byte always sent.
    const length = header.payloadLength;
    assert.ok(length >= 1 && packet.buffer[10 + length - 1] !== 0, `${name}: truncated`);
    assertFields(message, ours[i].fields, name);
  });
});
