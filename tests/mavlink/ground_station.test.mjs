// node-mavlink as the ground station, zok-mavlink as the camera, over UDP on 127.0.0.1. The
// camera plays a generated scene (make_scene) whose target sits right of and below the centre,
// glides to the left of and above it, hides and shows again; what it sends is held against its
// own per-frame output.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import {
  closeSync, mkdirSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync, writeSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { minimal, common } from 'node-mavlink';
import { GroundStation, freePort, sleep, start } from './station.mjs';

const ZOK = process.env.ZOK_MAVLINK;
const SCENE = process.env.MAVLINK_SCENE;
const WIDTH = 640;
const HEIGHT = 480;
const [HFOV, GAIN, DEAD_BAND, MAX_RATE] = [60, 2, 0.5, 60]; // the controller's defaults
const DEVICE = 154;
const ACCEPTED = 0;
const DENIED = 2;
const UNSUPPORTED = 3;
const { CameraTrackingImageStatus: Status, GimbalManagerSetPitchyaw: Steer, CommandLong } = common;

let folder;
let truth;
before(() => {
  folder = mkdtempSync(join(tmpdir(), 'zok-mavlink-test-'));
  const lines = execFileSync(SCENE, [join(folder, 'scene')], { timeout: 30000 }).toString();
  truth = lines.trim().split('\n').map((line) => JSON.parse(line));
});
after(() => rmSync(folder, { recursive: true, force: true }));

// The rates the gimbal controller gives for an offset with no integral, in rad/s: the pinhole
// angle beyond the dead band, times the gain, within the rate limit.
function expectedRates([dx, dy]) {
  const f = (0.5 * WIDTH) / Math.tan(((HFOV / 2) * Math.PI) / 180);
  const rate = (angle) => {
    const beyond = Math.max(Math.abs(angle) - DEAD_BAND, 0) * Math.sign(angle);
    return (Math.min(Math.max(GAIN * beyond, -MAX_RATE), MAX_RATE) * Math.PI) / 180;
  };
  return {
    yaw: rate((Math.atan2(dx, f) * 180) / Math.PI),
    pitch: rate((-Math.atan2(dy, f) * 180) / Math.PI),
  };
}

const close = (a, b) => Math.abs(a - b) <= 1e-5 + 1e-5 * Math.abs(b);
const isConfigure = (r) => r.message instanceof CommandLong && r.message.command === 1001;
const readRows = (file) => readFileSync(file, 'utf8').trim().split('\n').map((l) => JSON.parse(l));

function camera(args, output) {
  return start(ZOK, [join(folder, 'scene'), '--fps', '25', '--gimbal-device', String(DEVICE),
    '--integral-gain', '0', '--output', output, '--format', 'jsonl', ...args]);
}

// Waits for the camera's first heartbeat; true, with the test skipped, when it exited instead
// because this OpenCV cannot run a pipeline.
async function skippedWithoutGStreamer(t, station, run) {
  const beat = await Promise.race([
    station.waitFor((r) => r.message instanceof minimal.Heartbeat, 5000, 'HEARTBEAT', 0),
    run.exited]);
  if (beat.stderr !== undefined && /no GStreamer backend/.test(beat.stderr)) {
    t.skip('this OpenCV has no GStreamer backend');
    return true;
  }
  return false;
}

// Every GIMBAL_MANAGER_SET_PITCHYAW in `steer` belongs to the row of the same place in `rows`:
// NaN angles, and the rates the controller gives for the row's offset, or zero when lost.
function assertSteeringFollowsRows(steer, rows) {
  assert.equal(steer.length, rows.length, 'one gimbal command per tracked frame');
  steer.forEach(({ message: m }, i) => {
    const row = rows[i];
    assert.ok(Number.isNaN(m.pitch) && Number.isNaN(m.yaw), 'angles are NaN');
    assert.equal(m.targetSystem, 1);
    assert.equal(m.targetComponent, 1);
    assert.equal(m.gimbalDeviceId, DEVICE);
    const want = row.found ? expectedRates(row.offset) : { yaw: 0, pitch: 0 };
    assert.ok(close(m.yawRate, want.yaw) && close(m.pitchRate, want.pitch),
      `frame ${row.frame} offset ${row.offset} found ${row.found}: rates ${m.yawRate}, ` +
      `${m.pitchRate}, expected ${want.yaw}, ${want.pitch}`);
  });
}

test('a rectangle is tracked and steered by, the status comes at its rate, bad commands are ' +
     'refused, loss stops the gimbal and stop hands it back', async () => {
  const station = new GroundStation();
  const port = await station.bind();
  const output = join(folder, 'rectangle.jsonl');
  const run = camera(['--mavlink', `udpout://127.0.0.1:${port}`, '--tracker', 'dcf'], output);
  try {
    const beat = await station.waitFor((r) => r.message instanceof minimal.Heartbeat, 5000,
      'HEARTBEAT', 0);
    assert.equal(beat.message.type, 30); // MAV_TYPE_CAMERA
    assert.equal(beat.header.sysid, 1);
    assert.equal(beat.header.compid, 100);

    // The target sits still for the first two seconds: mark it there.
    const [x, y, w, h] = truth[0];
    const rectangle = [x / WIDTH, y / HEIGHT, (x + w) / WIDTH, (y + h) / HEIGHT];
    const before = station.received.length;
    assert.equal((await station.commandAck(2005, rectangle)).result, ACCEPTED);
    const take = await station.waitFor(isConfigure, 1000, 'gimbal manager configure', before);
    assert.deepEqual([take.message._param1, take.message._param2, take.message._param7],
      [1, 100, DEVICE]);
    assert.deepEqual([take.message.targetSystem, take.message.targetComponent], [1, 1]);

    assert.equal((await station.commandAck(512, [259])).result, ACCEPTED);
    const info = await station.waitFor((r) => r.message instanceof common.CameraInformation,
      1000, 'CAMERA_INFORMATION', before);
    assert.equal(info.message.flags & 1536, 1536); // HAS_TRACKING_POINT | _RECTANGLE
    assert.deepEqual([info.message.resolutionH, info.message.resolutionV], [WIDTH, HEIGHT]);

    assert.equal((await station.commandAck(511, [275, 100000])).result, ACCEPTED);
    const measured = station.received.length;
    await sleep(1000);
    const statuses = station.messages(Status, measured);
    const span = (statuses.at(-1).time - statuses[0].time) / 1000;
    const rate = (statuses.length - 1) / span;
    assert.ok(rate > 8 && rate < 12, `status at ${rate} Hz, 10 Hz asked`);
    const active = statuses.filter((s) => s.message.trackingStatus === 1);
    assert.ok(active.length > 0, 'status active while tracking');
    assert.equal(active[0].message.trackingMode, 2); // RECTANGLE
    assert.equal(active[0].message.targetData, 4); // IN_STATUS

    const refused = [
      [2005, [0.5, 0.5, 0.4, 0.6], DENIED], // inverted
      [2005, [0.5, 0.5, 0.5, 0.6], DENIED], // empty
      [2005, [0.5, 0.5, 1.2, 0.6], DENIED], // outside
      [2005, [NaN, 0.5, 0.6, 0.6], DENIED],
      [2004, [0.5, -0.1, 0.1], DENIED],
      [2004, [0.5, 0.5, NaN], DENIED],
      [511, [33, 100000], DENIED], // a message the camera does not stream
      [2000, [0, 1, 0], UNSUPPORTED], // IMAGE_START_CAPTURE
      [203, [], UNSUPPORTED], // DO_DIGICAM_CONTROL
    ];
    for (const [command, params, result] of refused) {
      assert.equal((await station.commandAck(command, params)).result, result,
        `command ${command} ${params}`);
    }
    const ignoredFrom = station.received.length;
    await station.command(2010, [], { system: 1, component: 101 });
    await station.command(2010, [], { system: 2, component: 0 });
    await station.command(203, [], { system: 1, component: 0 }); // a broadcast it does not do
    await sleep(300);
    assert.equal(station.messages(common.CommandAck, ignoredFrom).length, 0,
      'commands for another component or system, and broadcasts it does not do, are not answered');

    // Hidden from frame 100 (four seconds in): the status says error, the gimbal stops.
    const lost = await station.waitFor((r) => r.message instanceof Status &&
      r.message.trackingStatus === 2, 6000, 'status error while lost');
    await station.waitFor((r) => r.message instanceof Steer && r.message.yawRate === 0 &&
      r.message.pitchRate === 0, 1000, 'zero rates', station.received.indexOf(lost) - 5);
    await station.waitFor((r) => r.message instanceof Status && r.message.trackingStatus === 1,
      2000, 'status active once found again');

    const stopAt = station.received.length;
    assert.equal((await station.commandAck(2010, [])).result, ACCEPTED);
    const release = await station.waitFor(isConfigure, 1000, 'gimbal handed back', stopAt);
    assert.deepEqual([release.message._param1, release.message._param2], [-3, -3]);
    assert.equal((await station.commandAck(512, [275])).result, ACCEPTED);
    const idle = await station.waitFor((r) => r.message instanceof Status, 1000, 'status',
      station.received.length - 1);
    assert.equal(idle.message.trackingStatus, 0);

    const { code, stderr } = await run.exited;
    assert.equal(code, 0, stderr);
  } finally {
    run.child.kill();
    station.close();
  }

  const rows = readRows(output);
  // In the order sent: the frames' commands, one zero-rate command at the stop, the gimbal
  // handed back, and nothing after.
  const release = station.received.findLastIndex(isConfigure);
  const steer = station.messages(Steer).filter((s) => station.received.indexOf(s) < release);
  assert.equal(station.messages(Steer, release).length, 0, 'no gimbal command after the stop');
  assert.deepEqual([steer.at(-1).message.yawRate, steer.at(-1).message.pitchRate], [0, 0]);
  assertSteeringFollowsRows(steer.slice(0, -1), rows);
  // The offsets change sign as the target crosses the centre, and the rates with them.
  const found = steer.slice(0, -1).filter((s, i) => rows[i].found);
  assert.ok(found.some((s) => s.message.yawRate > 0 && s.message.pitchRate < 0));
  assert.ok(found.some((s) => s.message.yawRate < 0 && s.message.pitchRate > 0));
  assert.ok(rows.filter((r) => !r.found).length >= 20, 'the hidden frames are reported lost');
  // Every active status shows a box the tracker reported.
  for (const { message: s } of station.messages(Status).filter((r) => r.message.trackingStatus === 1)) {
    assert.ok(rows.some((r) => close(s.recTopX, r.box[0] / WIDTH) &&
      close(s.recTopY, r.box[1] / HEIGHT) && close(s.recBottomX, (r.box[0] + r.box[2]) / WIDTH) &&
      close(s.recBottomY, (r.box[1] + r.box[3]) / HEIGHT)), `status box ${s.recTopX}`);
  }
});

test('a point is tracked on a listening link, and an interrupted run leaves the gimbal still ' +
     'and handed back', async () => {
  const port = await freePort();
  const output = join(folder, 'point.jsonl');
  const run = camera(['--mavlink', `udp://127.0.0.1:${port}`, '--tracker', 'corr'], output);
  const station = new GroundStation();
  await station.bind();
  const target = { port };
  try {
    // A listening camera answers once it has heard from the station.
    const hello = Object.assign(new minimal.Heartbeat(), { type: 6, autopilot: 8, baseMode: 0,
      customMode: 0, systemStatus: 4, mavlinkVersion: 3 });
    let beat;
    for (let i = 0; i < 25 && !beat; ++i) {
      await station.send(hello, target);
      beat = await station.waitFor((r) => r.message instanceof minimal.Heartbeat, 200,
        'HEARTBEAT', 0).catch(() => undefined);
    }
    assert.ok(beat, 'a heartbeat within 5 s');
    const [x, y, w, h] = truth[0];
    const point = [(x + w / 2) / WIDTH, (y + h / 2) / HEIGHT, 15 / WIDTH];
    assert.equal((await station.commandAck(2004, point)).result, ACCEPTED);
    const status = await station.waitFor((r) => r.message instanceof Status &&
      r.message.trackingStatus === 1, 1000, 'status active');
    assert.equal(status.message.trackingMode, 1); // POINT
    assert.ok(Math.abs(status.message.pointX - point[0]) < 0.02, `x ${status.message.pointX}`);
    assert.ok(Math.abs(status.message.pointY - point[1]) < 0.02, `y ${status.message.pointY}`);
    assert.ok(Number.isNaN(status.message.recTopX));
    await station.waitFor((r) => r.message instanceof Steer && r.message.yawRate > 0 &&
      r.message.pitchRate < 0, 1000, 'steering right and down');
    await sleep(500);
    const interrupted = station.received.length;
    run.child.kill('SIGTERM');
    const { code, stderr } = await run.exited;
    assert.equal(code, 0, stderr);
    const release = await station.waitFor(isConfigure, 1000, 'gimbal handed back', interrupted);
    assert.equal(release.message._param1, -3);
    const last = station.messages(Steer).at(-1).message;
    assert.deepEqual([last.yawRate, last.pitchRate], [0, 0]);
  } finally {
    run.child.kill();
    station.close();
  }
  const rows = readRows(output);
  const steer = station.messages(Steer);
  assertSteeringFollowsRows(steer.slice(0, -1), rows);
  assert.deepEqual(rows[0].box.slice(2), [30, 30], 'a radius of 15 pixels makes a 30-pixel box');
});

test('a GStreamer pipeline is a camera input', async (t) => {
  const station = new GroundStation();
  const port = await station.bind();
  const pipeline = 'videotestsrc is-live=true pattern=ball num-buffers=40 ! ' +
    'video/x-raw,width=320,height=240,framerate=25/1 ! videoconvert ! appsink';
  const run = start(ZOK, ['--gst', pipeline, '--mavlink', `udpout://127.0.0.1:${port}`]);
  try {
    if (await skippedWithoutGStreamer(t, station, run)) {
      return;
    }
    assert.equal((await station.commandAck(512, [259])).result, ACCEPTED);
    const info = await station.waitFor((r) => r.message instanceof common.CameraInformation,
      1000, 'CAMERA_INFORMATION', 0);
    assert.deepEqual([info.message.resolutionH, info.message.resolutionV], [320, 240]);
    const { code, stderr } = await run.exited;
    assert.equal(code, 0, stderr);
  } finally {
    run.child.kill();
    station.close();
  }
});

// A camera that stops delivering frames leaves a read blocked for good, and one whose first
// frame never comes leaves the open blocked, before the camera has even announced itself; a stop
// must wait for neither. The pipeline reads a FIFO this test holds open and writes `frames` to.
for (const { name, frames } of [
  { name: 'has stalled', frames: 2 },
  { name: 'never delivers a frame', frames: 0 },
]) {
  test(`a camera whose pipeline ${name} still stops when asked`, async (t) => {
    const station = new GroundStation();
    const port = await station.bind();
    const fifo = join(folder, `fifo-${frames}`);
    execFileSync('mkfifo', [fifo]);
    const writer = openSync(fifo, 'r+'); // read-write: opens at once, and the stream never ends
    writeSync(writer, Buffer.alloc(frames * 64 * 48 * 3, 128));
    const pipeline = `filesrc location=${fifo} ! ` +
      'rawvideoparse width=64 height=48 format=bgr framerate=25/1 ! appsink';
    const run = start(ZOK, ['--gst', pipeline, '--mavlink', `udpout://127.0.0.1:${port}`], 15000);
    try {
      if (frames > 0 && await skippedWithoutGStreamer(t, station, run)) {
        return;
      }
      // Time for the frames to be taken (the reader then waits on the FIFO), or for the open.
      const early = await Promise.race([run.exited, sleep(frames > 0 ? 500 : 1000)]);
      if (early?.stderr !== undefined && /no GStreamer backend/.test(early.stderr)) {
        t.skip('this OpenCV has no GStreamer backend');
        return;
      }
      assert.equal(early, undefined, 'still running before the stop');
      const asked = performance.now();
      run.child.kill('SIGTERM');
      const { code, signal, stderr } = await run.exited;
      assert.deepEqual([code, signal], [0, null], stderr);
      assert.ok(performance.now() - asked < 5000, 'stopped within seconds');
    } finally {
      run.child.kill('SIGKILL');
      station.close();
      closeSync(writer);
    }
  });
}

test('the command line: help, refused arguments and inputs, with their exit codes', () => {
  mkdirSync(join(folder, 'broken'));
  writeFileSync(join(folder, 'broken', 'frame0.png'), 'not an image');
  const help = spawnSync(ZOK, ['--help'], { timeout: 10000 });
  assert.equal(help.status, 0);
  assert.match(help.stdout.toString(), /--mavlink URL/);
  const cases = [
    [[], 2],
    [['synthetic', '--mavlink', 'tcp://127.0.0.1:5760'], 2],
    [['synthetic', '--system-id', '0'], 2],
    [['synthetic', '--bogus'], 2],
    [[join(folder, 'no-such-video.mp4')], 3],
    [[join(folder, 'broken')], 3], // a folder whose only image cannot be read: no first frame
    [['synthetic', '--config', join(folder, 'no-such.json')], 5],
    [['synthetic', '--output', join(folder, 'no-such-folder', 'out.csv')], 7],
  ];
  for (const [args, status] of cases) {
    const r = spawnSync(ZOK, args, { timeout: 10000 });
    assert.equal(r.status, status, `${args.join(' ')}: ${r.stderr}`);
  }
});
