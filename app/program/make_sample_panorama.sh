#!/bin/sh
# Draws the pictures of the sample panorama with ffmpeg and writes the movie with make-panorama.
#   make_sample_panorama.sh FFMPEG MAKE-PANORAMA WORK-FOLDER OUTPUT.mov
set -eu
ffmpeg=$1
maker=$2
work=$3
output=$4
cd "$work"
draw() { "$ffmpeg" -hide_banner -loglevel error -y "$@"; }

# The courtyard: a cylinder 2048 wide (all the way round) and 652 high (45 degrees up and down). The
# middle of the picture is pan 180 (south); pan rises to the left.
W=2048; H=652
draw -f lavfi -i "color=black:s=${W}x${H},format=rgb24" -frames:v 1 -vf "\
geq=r='if(lt(Y,H/2),70+110*Y/H,70+25*sin(X/9)*sin(Y/5))':\
g='if(lt(Y,H/2),130+100*Y/H,105+20*sin(Y/4))':\
b='if(lt(Y,H/2),235,45)',\
drawbox=x=0.43*iw:y=0.22*ih:w=0.14*iw:h=0.28*ih:color=0xB5651D:t=fill,\
drawbox=x=0.47*iw:y=0.36*ih:w=0.06*iw:h=0.14*ih:color=0x3B1D08:t=fill,\
drawbox=x=0.70*iw:y=0.34*ih:w=0.10*iw:h=0.08*ih:color=0xF4F1E8:t=fill,\
drawtext=text='HALL':fontsize=40:fontcolor=white:x=0.5*w-tw/2:y=0.27*h,\
drawtext=text='Web site':fontsize=30:fontcolor=0x202020:x=0.75*w-tw/2:y=0.365*h,\
drawtext=text='S':fontsize=36:fontcolor=white:x=0.5*w-tw/2:y=0.62*h,\
drawtext=text='W':fontsize=36:fontcolor=white:x=0.75*w-tw/2:y=0.62*h,\
drawtext=text='E':fontsize=36:fontcolor=white:x=0.25*w-tw/2:y=0.62*h,\
drawtext=text='N':fontsize=36:fontcolor=white:x=0.02*w:y=0.62*h" courtyard.jpg
# Its hot spots: 1 the hall's door, 2 the sign.
draw -f lavfi -i "color=black:s=${W}x${H},format=gray" -frames:v 1 -pix_fmt gray -vf "\
geq=lum='if(between(X,0.47*W,0.53*W)*between(Y,0.36*H,0.50*H),1,if(between(X,0.70*W,0.80*W)*between(Y,0.34*H,0.42*H),2,0))'" \
courtyard-spots.png

# The hall: a room drawn all round (longitude across, latitude down), seen as the six faces of a cube.
draw -f lavfi -i "color=black:s=2048x1024,format=rgb24" -frames:v 1 -vf "\
geq=r='if(lt(Y,H*0.3),235,if(gt(Y,H*0.7),90+60*mod(floor(X/64)+floor(Y/32),2),120+90*mod(floor(X*8/W),2)))':\
g='if(lt(Y,H*0.3),225,if(gt(Y,H*0.7),70+50*mod(floor(X/64)+floor(Y/32),2),60+40*mod(floor(X*8/W),2)))':\
b='if(lt(Y,H*0.3),200,if(gt(Y,H*0.7),50,90+30*mod(floor(X*8/W),2)))'" hall.png
face() { # name yaw pitch
    draw -i hall.png -frames:v 1 -vf "v360=e:flat:h_fov=90:v_fov=90:yaw=$2:pitch=$3:w=512:h=512" "hall-$1.jpg"
}
# Pan 0 looks at yaw 180 of the room's picture; pan rises to the left, yaw to the right.
face front 180 0
face right -90 0
face back 0 0
face left 90 0
face top 180 90
face bottom 180 -90
# The door back to the courtyard, on the front face, and its hot spot.
draw -i hall-front.jpg -frames:v 1 -vf "\
drawbox=x=206:y=260:w=100:h=180:color=0x3B1D08:t=fill,\
drawtext=text='COURTYARD':fontsize=22:fontcolor=white:x=(w-tw)/2:y=230" -q:v 2 hall-front-door.jpg
draw -f lavfi -i "color=black:s=512x512,format=gray" -frames:v 1 -pix_fmt gray \
    -vf "geq=lum='if(between(X,206,306)*between(Y,260,440),1,0)'" hall-spots-front.png
draw -f lavfi -i "color=black:s=512x512,format=gray" -frames:v 1 -pix_fmt gray -vf "geq=lum=0" hall-spots-none.png

"$maker" "$output" --size 640x480 --default-node 1 \
    --node 1 Courtyard --cylinder courtyard.jpg --tilt -45 45 --fov 10 90 --view 180 0 60 \
        --hotspots courtyard-spots.png \
        --link 1 2 "Door to the hall" --url 2 "https://www.example.com/" "Web site" \
    --node 2 Hall --cube hall-front-door.jpg hall-right.jpg hall-back.jpg hall-left.jpg hall-top.jpg hall-bottom.jpg \
        --fov 10 120 --view 0 0 90 \
        --hotspots hall-spots-front.png hall-spots-none.png hall-spots-none.png hall-spots-none.png \
            hall-spots-none.png hall-spots-none.png \
        --link 1 1 "Door to the courtyard"
