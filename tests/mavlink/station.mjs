// A ground station made of node-mavlink, on a UDP socket on 127.0.0.1, for the tests that hold
// zok-mavlink against another MAVLink implementation. Every wait is bounded in time.
import dgram from 'node:dgram';
import { spawn } from 'node:child_process';
import { PassThrough } from 'node:stream';
import {
  MavLinkPacketSplitter, MavLinkPacketParser, MavLinkProtocolV2, minimal, common,
} from 'node-mavlink';

export const REGISTRY = { ...minimal.REGISTRY, ...common.REGISTRY };
export const STATION_SYSTEM = 255;
export const STATION_COMPONENT = 190; // MAV_COMP_ID_MISSIONPLANNER

// Decodes byte streams with node-mavlink; `onMessage(message, header)` gets each known message.
export function makeDecoder(onMessage) {
  const input = new PassThrough();
  const packets = input.pipe(new MavLinkPacketSplitter()).pipe(new MavLinkPacketParser());
  packets.on('data', (packet) => {
    const clazz = REGISTRY[packet.header.msgid];
    if (clazz) {
      onMessage(packet.protocol.data(packet.payload, clazz), packet.header, packet);
    }
  });
  return input;
}

export class GroundStation {
  constructor() {
    this.protocol = new MavLinkProtocolV2(STATION_SYSTEM, STATION_COMPONENT);
    this.sequence = 0;
    this.received = []; // { message, header, time }
    this.waiters = [];
    this.decoder = makeDecoder((message, header) => {
      this.received.push({ message, header, time: performance.now() });
      this.waiters = this.waiters.filter((w) => !w.check());
    });
    this.socket = dgram.createSocket('udp4');
    this.socket.on('message', (datagram, from) => {
      this.peer = this.peer ?? from;
      this.decoder.write(datagram);
    });
  }

  // Binds to 127.0.0.1 on `port` (0: a free one) and gives the port.
  async bind(port = 0) {
    await new Promise((resolve) => this.socket.bind(port, '127.0.0.1', resolve));
    return this.socket.address().port;
  }

  send(message, to = this.peer) {
    const bytes = this.protocol.serialize(message, this.sequence++ & 255);
    return new Promise((resolve) => this.socket.send(bytes, to.port, '127.0.0.1', resolve));
  }

  sendRaw(bytes, to = this.peer) {
    return new Promise((resolve) => this.socket.send(bytes, to.port, '127.0.0.1', resolve));
  }

  command(command, params = [], target = { system: 1, component: 100 }) {
    const m = new common.CommandLong();
    m.targetSystem = target.system;
    m.targetComponent = target.component;
    m.command = command;
    m.confirmation = 0;
    for (let i = 0; i < 7; ++i) {
      m[`_param${i + 1}`] = params[i] ?? 0;
    }
    return this.send(m);
  }

  // Messages received so far of class `clazz`, after index `from` of this.received.
  messages(clazz, from = 0) {
    return this.received.slice(from).filter((r) => r.message instanceof clazz);
  }

  // Waits until `predicate(entry)` holds for a message received after index `from`; rejects
  // after `ms` milliseconds.
  waitFor(predicate, ms, what, from = this.received.length) {
    return new Promise((resolve, reject) => {
      const waiter = {
        check: () => {
          const hit = this.received.slice(from).find(predicate);
          if (hit) {
            clearTimeout(waiter.timer);
            resolve(hit);
            return true;
          }
          return false;
        },
      };
      if (waiter.check()) return;
      waiter.timer = setTimeout(() => {
        this.waiters = this.waiters.filter((w) => w !== waiter);
        reject(new Error(`no ${what} within ${ms} ms`));
      }, ms);
      this.waiters.push(waiter);
    });
  }

  // Sends a command and waits for its acknowledgement; gives the ack message.
  async commandAck(command, params, target, ms = 2000) {
    const from = this.received.length;
    await this.command(command, params, target);
    const ack = await this.waitFor(
      (r) => r.message instanceof common.CommandAck && r.message.command === command,
      ms, `COMMAND_ACK for ${command}`, from);
    return ack.message;
  }

  close() {
    this.socket.close();
  }
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// A free UDP port on 127.0.0.1 (free when asked; the program binds it right after).
export async function freePort() {
  const socket = dgram.createSocket('udp4');
  await new Promise((resolve) => socket.bind(0, '127.0.0.1', resolve));
  const { port } = socket.address();
  await new Promise((resolve) => socket.close(resolve));
  return port;
}

// Starts `program` with `args`; `exited` resolves to { code, signal, stderr }. A program still
// running after `ms` milliseconds is killed, so that no test leaves it behind.
export function start(program, args, ms = 30000) {
  const child = spawn(program, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const timer = setTimeout(() => child.kill('SIGKILL'), ms);
  const exited = new Promise((resolve) => {
    child.on('exit', (code, signal) => {
      clearTimeout(timer);
      resolve({ code, signal, stderr });
    });
  });
  return { child, exited };
}
