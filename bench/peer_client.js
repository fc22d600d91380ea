// The peer of the network comparison: the npm registry's independent BACnet/IP client reading the
// points of a points file (a line of `vornk-host decode --format json`) from one device, one
// ReadProperty at a time, and printing each cycle's duration as "cycle MS ms".
// Usage: node peer_client.js POINTS_FILE HOST:PORT CYCLES
'use strict';

const fs = require('fs');
const { default: Client } = require('@bacnet-js/client');

const { TYPES, PRESENT_VALUE } = require('../tests/e2e/peer/object_types');

const [pointsFile, device, cyclesText] = process.argv.slice(2);
const points = JSON.parse(fs.readFileSync(pointsFile, 'utf8')).points
  .map((point) => ({ type: TYPES[point.type], instance: point.instance }));
const cycles = Number(cyclesText);

const client = new Client({ port: 0, interface: '127.0.0.1', apduTimeout: 3000 });
client.on('error', (error) => {
  console.error(error);
  process.exit(1);
});
client.on('listening', async () => {
  const receiver = { address: device };
  for (let cycle = 0; cycle < cycles; ++cycle) {
    const start = process.hrtime.bigint();
    for (const point of points) await client.readProperty(receiver, point, PRESENT_VALUE);
    const ms = Number(process.hrtime.bigint() - start) / 1e6;
    console.log(`cycle ${ms.toFixed(3)} ms`);
  }
  client.close();
});
